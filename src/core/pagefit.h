#pragma once
// Page size in printer pixels and the fit of a picture onto that page. Every floating-point step
// is one x87 extended-precision operation (long double), in the order given, so the results
// match the printer's arithmetic to the pixel; Trunc cuts toward zero. A division by zero, an
// invalid operation, an overflow or an integer outside 32 bits throws core::Error.

#include <cstdint>

namespace core {

struct PageSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const PageSize &) const = default;
};

struct PageRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool operator==(const PageRect &) const = default;
};

// Trunc(((millimetres × 0.3937008) × dpi) ÷ 10) for each side.
PageSize pageSizeInPixels(std::int32_t widthMm, std::int32_t heightMm, std::int32_t dpiX, std::int32_t dpiY);

// A landscape picture is turned for a portrait page, both compared strictly.
bool turnsForPage(std::int32_t pictureWidth, std::int32_t pictureHeight, PageSize page);

// The largest size of the picture that fits the page with its proportions kept, centred.
PageRect fitAndCentre(std::int32_t pictureWidth, std::int32_t pictureHeight, PageSize page);

} // namespace core
