#pragma once
// Overloaded: one visitor for std::visit made of several lambdas, one per
// alternative.

namespace lanternwick {

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace lanternwick
