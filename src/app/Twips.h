#pragma once

#include <QRect>
#include <QtMath>

// Window geometry is kept in twips, as the layout was drawn; Qt works in device-independent
// pixels, which are 15 twips each at the reference 96 dpi whatever the screen's real scale.
namespace Twips
{
constexpr int perPixel = 15;

constexpr int toPixels(int twips)
{
    return (twips >= 0 ? twips + perPixel / 2 : twips - perPixel / 2) / perPixel;
}

constexpr int fromPixels(int pixels)
{
    return pixels * perPixel;
}

constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace Twips
