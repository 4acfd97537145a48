#include "app/PortFieldFilter.h"

#include <QChar>
#include <QTextBoundaryFinder>

namespace lanternwick {
namespace {

char32_t firstCodePoint(QStringView text) {
    if (text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate()) {
        return QChar::surrogateToUcs4(text[0], text[1]);
    }
    return text.isEmpty() ? 0 : text[0].unicode();
}

QString keepNumberCharacters(QStringView text) {
    QString kept;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text.data(), static_cast<int>(text.size()));
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = clusters.toNextBoundary();
        if (end < 0) {
            end = text.size();
        }
        const QStringView cluster = text.sliced(start, end - start);
        if (QChar::isNumber(firstCodePoint(cluster))) {
            kept += cluster;
        }
        start = end;
    }
    return kept;
}

std::optional<std::uint16_t> parseASCIIPort(QStringView digits) {
    std::uint32_t value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
        if (value > 65535) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

PortFieldDecision filterPortText(QStringView text) {
    QString filtered = keepNumberCharacters(text);
    if (filtered != text) {
        return {.replacementText = std::move(filtered), .port = std::nullopt};
    }
    if (filtered.isEmpty()) {
        return {};
    }
    const auto value = parseASCIIPort(filtered);
    if (!value || *value == 0) {
        return {};
    }
    return {.replacementText = std::nullopt, .port = *value};
}

QString portFieldText(std::uint16_t port) {
    return QString::number(port);
}

}  // namespace lanternwick
