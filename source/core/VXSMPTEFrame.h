#pragma once

#include <string>

namespace vx
{

    // A position held both as a timecode (hours, minutes, seconds, frames at a
    // rational frame rate) and as milliseconds. The rate 30000/1001 selects
    // drop-frame numbering. A rate below 1 frame per second (or with a zero
    // numerator or denominator) is refused: it is logged and 25/1 is used.
    class SMPTEFrame
    {
    public:
        SMPTEFrame() = default;
        SMPTEFrame(unsigned char hours, unsigned char minutes, unsigned char seconds, unsigned char frames,
                   unsigned short rateNumerator, unsigned short rateDenominator);
        // Negative milliseconds become 0; a non-finite value is logged and taken as 0.
        SMPTEFrame(double milliseconds, unsigned short rateNumerator, unsigned short rateDenominator);

        SMPTEFrame(const SMPTEFrame&) = default;
        SMPTEFrame& operator=(const SMPTEFrame&) = default;

        // Recomputes the milliseconds from the timecode fields (drop-frame
        // timecodes give their nominal 30 frames-per-second time).
        SMPTEFrame& calculateMilliseconds();

        // 1000 / rate, for every rate.
        double getFrameDuration() const;
        bool isDropFrame() const;

        // Results keep this value's rate; a difference below 0 gives 0.
        SMPTEFrame operator+(const SMPTEFrame& other) const;
        SMPTEFrame operator+(double milliseconds) const;
        SMPTEFrame operator-(const SMPTEFrame& other) const;
        SMPTEFrame operator-(double milliseconds) const;
        SMPTEFrame& operator+=(const SMPTEFrame& other);
        SMPTEFrame& operator+=(double milliseconds);
        SMPTEFrame& operator-=(const SMPTEFrame& other);
        SMPTEFrame& operator-=(double milliseconds);
        // Advances by one frame duration.
        SMPTEFrame& operator++();

        // "hh:mm:ss.ff", each number at least two digits.
        std::string asString() const;

        unsigned char getHours() const { return hours; }
        unsigned char getMinutes() const { return minutes; }
        unsigned char getSeconds() const { return seconds; }
        unsigned char getFrames() const { return frames; }
        unsigned short getRateNumerator() const { return rateNumerator; }
        unsigned short getRateDenominator() const { return rateDenominator; }
        double getMilliseconds() const { return milliseconds; }

    private:
        void setRate(unsigned short numerator, unsigned short denominator);
        void calculateTimecode();

        unsigned char hours = 0;
        unsigned char minutes = 0;
        unsigned char seconds = 0;
        unsigned char frames = 0;
        unsigned short rateNumerator = 25;
        unsigned short rateDenominator = 1;
        double milliseconds = 0.0;
    };

} // namespace vx
