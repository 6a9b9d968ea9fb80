#include "notify/PopUpSlide.h"

PopUpSlide::PopUpSlide(int screenWidth, int screenHeight, int windowWidth, int windowHeight)
    : m_screenWidth(screenWidth), m_screenHeight(screenHeight), m_windowWidth(windowWidth),
      m_windowHeight(windowHeight)
{
}

void PopUpSlide::Load()
{
    m_top = m_screenHeight + BelowScreenTwips;
    m_left = m_screenWidth - (m_windowWidth + RightMarginTwips);
    m_slidingUp = true;
}

bool PopUpSlide::tick()
{
    if (!m_slidingUp)
        return false;
    m_top -= StepTwips;
    // Single precision, as the window toolkit compares it.
    const float limit =
        static_cast<float>(m_screenHeight) - (static_cast<float>(m_windowHeight) + RestMarginTwips);
    if (limit >= static_cast<float>(m_top))
        m_slidingUp = false;
    return true;
}

int PopUpSlide::restingTop() const
{
    return m_screenHeight + BelowScreenTwips - StepTwips * stepsToRest(m_windowHeight);
}

int PopUpSlide::stepsToRest(int windowHeight)
{
    // The smallest n with 50 n >= height + 440 (the 10 below the screen plus the 430 margin).
    const int distance = windowHeight + BelowScreenTwips + RestMarginTwips;
    return distance <= 0 ? 1 : (distance + StepTwips - 1) / StepTwips;
}
