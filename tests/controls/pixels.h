// Reading pixels back as colour values, and checking runs of pixels taken from the drawing tables.
#pragma once

#include <QImage>
#include <gtest/gtest.h>
#include <string>

#include "controls/gdi_types.h"

inline COLORREF pixel_at(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

inline std::string colour_text(COLORREF c)
{
    return "RGB(" + std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," +
           std::to_string(GetBValue(c)) + ")";
}

// Every pixel from (x0, y0) to (x1, y1), both included, along a row or a column, has the colour.
inline ::testing::AssertionResult RunIs(const QImage& image, int x0, int y0, int x1, int y1, COLORREF colour)
{
    const int dx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0);
    const int dy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    for (int x = x0, y = y0;; x += dx, y += dy) {
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) {
            return ::testing::AssertionFailure() << "(" << x << "," << y << ") lies outside the image";
        }
        const COLORREF got = pixel_at(image, x, y);
        if (got != colour) {
            return ::testing::AssertionFailure() << "(" << x << "," << y << ") is " << colour_text(got)
                                                 << ", expected " << colour_text(colour);
        }
        if (x == x1 && y == y1) {
            return ::testing::AssertionSuccess();
        }
    }
}

inline ::testing::AssertionResult PixelIs(const QImage& image, int x, int y, COLORREF colour)
{
    return RunIs(image, x, y, x, y, colour);
}

// How many pixels of the image have the colour.
inline int count_colour(const QImage& image, COLORREF colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += pixel_at(image, x, y) == colour ? 1 : 0;
        }
    }
    return n;
}
