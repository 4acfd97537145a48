#pragma once
// The port field's filter: what to do with the text the user left in the port
// field. A pure function on the GUI thread's strings, callable from anywhere.
//
// Characters that are numbers in the Unicode sense (general category N, judged
// per user-perceived character by its first code point) are kept, so digits of
// other scripts stay visible; everything else is dropped. Only ASCII digits
// are parsed. Zero, values above 65535 and unparsable texts never become a
// port, and such text is left as typed.

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringView>

namespace lanternwick {

struct PortFieldDecision {
    // Present when the field must show this text instead; the filter then
    // runs again on it, so no port is decided in the same step.
    std::optional<QString> replacementText;
    // Present when the text is a valid port to assign to the monitor.
    std::optional<std::uint16_t> port;

    friend bool operator==(const PortFieldDecision&, const PortFieldDecision&) = default;
};

PortFieldDecision filterPortText(QStringView text);

// The text the field shows for a port: decimal, no leading zeros, no grouping.
QString portFieldText(std::uint16_t port);

}  // namespace lanternwick
