#include "markers/TempolaneFileValidationError.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "support/Regex.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::string_view declarationPattern =
    "<\\?xml\\s+version\\s*=\\s*\"[^\"]+\"\\s+encoding\\s*=\\s*\"UTF-8\"\\s*\\?>";
constexpr std::string_view rootPattern =
    "<Tempolane\\b[^>]*\\bxmlns:xml\\s*=\\s*\"http://www\\.w3\\.org/XML/1998/namespace\""
    "[^>]*\\bmajor_vers\\s*=\\s*\"[^\"]+\"[^>]*\\bminor_vers\\s*=\\s*\"[^\"]+\""
    "[^>]*\\bbug_vers\\s*=\\s*\"[^\"]+\"[^>]*>";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string errnoText(int error) { return std::generic_category().message(error); }

Result<std::string, std::string> readWholeFile(const std::filesystem::path& path) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail(errnoText(errno));
    std::string bytes;
    char buffer[65536];
    while (true) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, count);
        if (count < sizeof buffer) break;
    }
    if (std::ferror(file.get())) return fail(errnoText(errno != 0 ? errno : EIO));
    return bytes;
}

}  // namespace

TempolaneFileValidationError TempolaneFileValidationError::unreadableFile(std::string reason) {
    return {Kind::unreadableFile, std::move(reason)};
}

TempolaneFileValidationError TempolaneFileValidationError::invalidTempolaneXML() {
    return {Kind::invalidTempolaneXML, {}};
}

std::string TempolaneFileValidationError::description() const {
    if (kind == Kind::unreadableFile) return "Unable to read XML file: " + reason;
    return "The selected XML file is not a valid Tempolane file.\n"
           "Required header format:\n"
           "<?xml version=\"...\" encoding=\"UTF-8\"?>\n"
           "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"...\" minor_vers=\"...\" "
           "bug_vers=\"...\">";
}

Result<void, TempolaneFileValidationError> validateMarkerFile(const std::filesystem::path& path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return fail(TempolaneFileValidationError::unreadableFile(bytes.error()));
    return validateMarkerBytes(*bytes);
}

Result<void, TempolaneFileValidationError> validateMarkerBytes(std::string_view bytes) {
    return validateMarkerText(decodeUTF8(bytes));
}

Result<void, TempolaneFileValidationError> validateMarkerText(std::string_view text) {
    const auto declaration = firstMatchOffset(declarationPattern, text, RegexOption::dotMatchesLineEnds);
    if (!declaration) return fail(TempolaneFileValidationError::invalidTempolaneXML());
    const auto root = firstMatchOffset(rootPattern, text, RegexOption::dotMatchesLineEnds);
    if (!root || *root < *declaration) return fail(TempolaneFileValidationError::invalidTempolaneXML());
    return {};
}

}  // namespace lanternwick
