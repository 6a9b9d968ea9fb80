#pragma once

#include "mailcheck/CheckReport.h"

// How new mail is told: the popup and the sound, and a desktop notification where the user chose
// one. The window's report calls it in its fixed order: prepare, then (the count saved) show.
class Announcer
{
public:
    virtual ~Announcer() = default;
    // The popup takes the texts (loading it below the screen when it is not loaded), and the sound
    // plays when asked for; returns when it has ended.
    virtual void prepare(const Announcement &announcement) = 0;
    // The popup rises (or stays where it rests), and the other ways of telling follow.
    virtual void show(const Announcement &announcement) = 0;
};
