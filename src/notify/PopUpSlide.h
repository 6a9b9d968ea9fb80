#pragma once

// Where the new-mail window stands while it rises into the bottom-right corner, in twips.
// Display-free: the window feeds it the screen's and its own outer size and moves to left()/top().
class PopUpSlide
{
public:
    static constexpr int FirstTickMs = 500; // the first tick comes this long after loading
    static constexpr int TickMs = 20;       // every further tick
    static constexpr int StepTwips = 50;    // one tick lifts the window this far
    static constexpr int BelowScreenTwips = 10;
    static constexpr int RightMarginTwips = 40;
    static constexpr int RestMarginTwips = 430; // keeps the resting window above a usual taskbar

    PopUpSlide(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

    // The Load handler: just below the screen, 40 twips from its right edge, rising.
    void Load();
    // One tick of Timer1; returns whether the window moved.
    bool tick();

    int left() const { return m_left; }
    int top() const { return m_top; }
    bool SlidingUp() const { return m_slidingUp; }
    // Where the rise ends: the top after the last step.
    int restingTop() const;

    // The number of ticks from loading to rest for a window of this height.
    static int stepsToRest(int windowHeight);

private:
    int m_screenWidth;
    int m_screenHeight;
    int m_windowWidth;
    int m_windowHeight;
    int m_left = 0;
    int m_top = 0;
    bool m_slidingUp = false;
};
