#include "support/LatinASCII.h"

#include <cstring>
#include <memory>
#include <mutex>

#include <unicode/brkiter.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

// Creating the transliterator costs tens of milliseconds, so one instance
// serves the whole process. ICU does not promise that concurrent
// transliterate() calls on one instance are safe, hence the lock; only text
// with non-ASCII characters ever takes it.
class SharedLatinASCII {
public:
    static SharedLatinASCII& instance() {
        static SharedLatinASCII shared;
        return shared;
    }

    icu::UnicodeString transliterate(const icu::UnicodeString& text) {
        icu::UnicodeString result(text);
        std::lock_guard lock(mutex_);
        if (transliterator_) {
            transliterator_->transliterate(result);
        }
        return result;
    }

    // Splits into user-perceived characters; same lock, same reason.
    template <typename Visit>
    void forEachCharacter(const icu::UnicodeString& text, Visit visit) {
        std::lock_guard lock(mutex_);
        if (!characters_) {
            for (int32_t i = 0; i < text.length();) {
                const int32_t next = text.moveIndex32(i, 1);
                visit(text.tempSubStringBetween(i, next));
                i = next;
            }
            return;
        }
        characters_->setText(text);
        int32_t start = characters_->first();
        for (int32_t end = characters_->next(); end != icu::BreakIterator::DONE;
             start = end, end = characters_->next()) {
            visit(text.tempSubStringBetween(start, end));
        }
    }

private:
    SharedLatinASCII() {
        UErrorCode status = U_ZERO_ERROR;
        transliterator_.reset(icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            transliterator_.reset();
        }
        status = U_ZERO_ERROR;
        characters_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            characters_.reset();
        }
    }

    std::mutex mutex_;
    std::unique_ptr<icu::Transliterator> transliterator_;
    std::unique_ptr<icu::BreakIterator> characters_;
};

bool isPrintable(char32_t c) { return c >= 0x20 && c <= 0x7E; }

}  // namespace

std::optional<char> latinASCIICharacter(std::string_view character) {
    const auto original =
        icu::UnicodeString::fromUTF8(icu::StringPiece(character.data(), static_cast<int32_t>(character.size())));
    const auto converted = SharedLatinASCII::instance().transliterate(original);
    if (!converted.isEmpty() && converted.char32At(0) < 0x80) {
        return static_cast<char>(converted.char32At(0));
    }
    return std::nullopt;
}

// Eight bytes at a time: these checks run on every string written or read.
bool isPrintableASCII(std::string_view text) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t below = (word - ones * 0x20) & ~word;
        const std::uint64_t above = (word + ones * (127 - 0x7E)) | word;
        if ((below | above) & highs) {
            return false;
        }
    }
    for (; n > 0; ++p, --n) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte > 0x7E) {
            return false;
        }
    }
    return true;
}

std::string convertToPrintableASCII(std::string_view text) {
    if (isPrintableASCII(text)) {
        return std::string(text);
    }
    auto& shared = SharedLatinASCII::instance();
    const auto original = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    auto converted = isASCII(text) ? original : shared.transliterate(original);
    if (converted.isEmpty()) {
        converted = original;
    }
    std::string result;
    result.reserve(static_cast<std::size_t>(converted.length()));
    shared.forEachCharacter(converted, [&](const icu::UnicodeString& character) {
        if (character.length() == 1 && isPrintable(character.charAt(0))) {
            result.push_back(static_cast<char>(character.charAt(0)));
        } else {
            result.push_back('?');
        }
    });
    return result;
}

}  // namespace lanternwick
