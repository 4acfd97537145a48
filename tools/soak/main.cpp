// lanternwick-soak: runs the soak against a console simulator of its own on
// loopback and says whether the console ended up equal to the file.
//   lanternwick-soak [--edits N] [--seed S] [--max-interval-ms M] [--fault-every F] [--max-stop-ms T]
// Exits 0 when it did, 1 when it did not, 2 on bad arguments.

#include <exception>
#include <iostream>
#include <random>
#include <string_view>

#include "soak/Soak.h"
#include "support/IntegerText.h"

namespace {

template <typename Number>
bool parse(std::string_view text, Number& value) {
    const std::optional<Number> parsed = lanternwick::parseInteger<Number>(text);
    if (parsed) value = *parsed;
    return parsed.has_value();
}

}  // namespace

int main(int argc, char** argv) {
    lanternwick::soak::SoakOptions options;
    options.seed = std::random_device()();
    for (int i = 1; i < argc; i += 2) {
        const std::string_view flag = argv[i];
        const std::string_view value = i + 1 < argc ? argv[i + 1] : "";
        bool good = false;
        if (flag == "--edits") {
            good = parse(value, options.edits) && options.edits >= 0;
        } else if (flag == "--seed") {
            good = parse(value, options.seed);
        } else if (flag == "--fault-every") {
            good = parse(value, options.faultEvery) && options.faultEvery >= 0;
        } else if (flag == "--max-stop-ms") {
            good = parse(value, options.maxStopMs) && options.maxStopMs > 0;
        } else if (flag == "--max-interval-ms") {
            good = parse(value, options.maxIntervalMs) && options.maxIntervalMs >= 0;
        }
        if (!good) {
            std::cerr << "usage: " << argv[0]
                      << " [--edits N] [--seed S] [--max-interval-ms M] [--fault-every F] [--max-stop-ms T]\n";
            return 2;
        }
    }
    try {
        const auto result = lanternwick::soak::runSoak(options);
        std::cout << lanternwick::soak::summary(options, result);
        return result.ok() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "soak: " << error.what() << "\n";
        return 1;
    }
}
