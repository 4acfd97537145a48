// The default marker file's place, from the POSIX user database. A port to
// another system replaces this file (the home folder is found differently
// there); nothing else in the monitor asks where home is.

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <string>

#include "monitor/MonitorSettings.h"

namespace lanternwick {

std::filesystem::path defaultMarkerFilePath() {
    std::filesystem::path home;
    std::array<char, 16384> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
        home = found->pw_dir;
    } else {
        std::array<char, 256> login{};
        const bool haveLogin = ::getlogin_r(login.data(), login.size()) == 0;
        home = std::string("/Users/") + (haveLogin ? login.data() : "");
    }
    return home / "Documents" / "Tempolane" / "Lighting.xml";
}

}  // namespace lanternwick
