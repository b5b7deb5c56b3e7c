#include "core/VXSMPTEFrame.h"

#include "core/VXLog.h"

#include <cmath>
#include <cstdio>

namespace vx
{
    namespace
    {
        constexpr double dropFrameRate = 29.97002997002997;
        // Drop-frame timecodes count nominal 30 frames-per-second frames.
        constexpr double dropFrameLength = 33.333333333333336;
        // Largest frame count a double converts to a 64-bit integer without overflow.
        constexpr double maxFrameCount = 9.2e18;

        long long toFrameCount(double milliseconds, double frameLength)
        {
            const double count = milliseconds / frameLength;
            return count < maxFrameCount ? (long long)count : (long long)maxFrameCount;
        }
    } // namespace

    SMPTEFrame::SMPTEFrame(unsigned char h, unsigned char m, unsigned char s, unsigned char f, unsigned short numerator,
                           unsigned short denominator)
        : hours(h), minutes(m), seconds(s), frames(f)
    {
        setRate(numerator, denominator);
        calculateMilliseconds();
    }

    SMPTEFrame::SMPTEFrame(double ms, unsigned short numerator, unsigned short denominator)
    {
        setRate(numerator, denominator);
        if (std::isnan(ms) || ms == INFINITY)
        {
            logPrint(logError, "SMPTEFrame: non-finite time %f ms taken as 0", ms);
            ms = 0.0;
        }
        milliseconds = ms < 0.0 ? 0.0 : ms;
        calculateTimecode();
    }

    void SMPTEFrame::setRate(unsigned short numerator, unsigned short denominator)
    {
        // The whole-number part of the rate divides: anything below 1 frame per
        // second (a zero numerator or denominator included) cannot be counted.
        if (numerator == 0 || denominator == 0 || numerator < denominator)
        {
            logPrint(logError, "SMPTEFrame: frame rate %u/%u is below 1 frame per second, using 25/1",
                     (unsigned)numerator, (unsigned)denominator);
            numerator = 25;
            denominator = 1;
        }
        rateNumerator = numerator;
        rateDenominator = denominator;
    }

    bool SMPTEFrame::isDropFrame() const
    {
        return double(rateNumerator) / double(rateDenominator) == dropFrameRate;
    }

    double SMPTEFrame::getFrameDuration() const
    {
        return 1000.0 / (double(rateNumerator) / double(rateDenominator));
    }

    SMPTEFrame& SMPTEFrame::calculateMilliseconds()
    {
        const double frameLength = isDropFrame() ? dropFrameLength : getFrameDuration();
        const int wholeSeconds = hours * 3600000 + minutes * 60000 + seconds * 1000;
        milliseconds = frames * frameLength + wholeSeconds;
        return *this;
    }

    void SMPTEFrame::calculateTimecode()
    {
        hours = minutes = seconds = frames = 0;
        if (! isDropFrame())
        {
            const double rate = double(rateNumerator) / double(rateDenominator);
            const long long totalFrames = toFrameCount(milliseconds, 1000.0 / rate);
            const long long wholeRate = (long long)rate;
            const long long totalSeconds = totalFrames / wholeRate;
            frames = (unsigned char)(totalFrames - wholeRate * totalSeconds);
            seconds = (unsigned char)(totalSeconds % 60);
            minutes = (unsigned char)((totalSeconds / 60) % 60);
            hours = (unsigned char)(totalSeconds / 3600);
            return;
        }

        // Drop-frame numbering: frames 0 and 1 are skipped at the start of every
        // minute but each tenth. Counting saturates at 23:59:59.29, which also
        // bounds the loop.
        long long remaining = toFrameCount(milliseconds, dropFrameLength);
        for (; remaining > 0; --remaining)
        {
            if (++frames < 30)
                continue;
            frames = 0;
            if (++seconds == 60)
            {
                seconds = 0;
                if (++minutes == 60)
                {
                    minutes = 0;
                    if (hours == 23)
                    {
                        hours = 23;
                        minutes = 59;
                        seconds = 59;
                        frames = 29;
                        return;
                    }
                    ++hours;
                }
            }
            if (seconds == 0 && minutes % 10 != 0)
                frames = 2;
        }
    }

    SMPTEFrame SMPTEFrame::operator+(const SMPTEFrame& other) const
    {
        return *this + other.milliseconds;
    }

    SMPTEFrame SMPTEFrame::operator+(double ms) const
    {
        return SMPTEFrame(milliseconds + ms, rateNumerator, rateDenominator);
    }

    SMPTEFrame SMPTEFrame::operator-(const SMPTEFrame& other) const
    {
        return *this - other.milliseconds;
    }

    SMPTEFrame SMPTEFrame::operator-(double ms) const
    {
        return SMPTEFrame(milliseconds - ms, rateNumerator, rateDenominator);
    }

    SMPTEFrame& SMPTEFrame::operator+=(const SMPTEFrame& other)
    {
        return *this = *this + other;
    }

    SMPTEFrame& SMPTEFrame::operator+=(double ms)
    {
        return *this = *this + ms;
    }

    SMPTEFrame& SMPTEFrame::operator-=(const SMPTEFrame& other)
    {
        return *this = *this - other;
    }

    SMPTEFrame& SMPTEFrame::operator-=(double ms)
    {
        return *this = *this - ms;
    }

    SMPTEFrame& SMPTEFrame::operator++()
    {
        return *this += getFrameDuration();
    }

    std::string SMPTEFrame::asString() const
    {
        char text[32];
        std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%02u", (unsigned)hours, (unsigned)minutes, (unsigned)seconds,
                      (unsigned)frames);
        return text;
    }

} // namespace vx
