#pragma once

// The model behind the file-source sequence test: the pictures every clip
// carries (frame number in bars, corners that tell a flip or a mirror), the
// kinds of source, the operations a user does, their seeded generation and
// shrinking, the play head the engine's timeline must move, and what each
// render may show: the play head's frame, or within stated bounds after a
// jump, a turn, a release or the decoder's work held, a frame it trails by
// or one on the way to it, never one ahead.

#include "engine/behaviours/VXModifierTimeline.h"
#include "support/gl/VXGLTestFixture.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vx::test::sequence
{
    constexpr int clipWidth = 64, clipHeight = 32, barCount = 8;
    // The number a still picture carries.
    constexpr long stillNumber = 165;
    const PixelRGBA8 barOn{230, 230, 230, 255}, barOff{25, 25, 25, 255}, patchColour{90, 128, 170, 255};

    // A point of the picture (fractions of its size) and its colour before
    // effects. The bottom right is the only corner in the on-bar colour: a
    // picture turned upside down or mirrored shows it elsewhere.
    struct Corner
    {
        double x, y;
        PixelRGBA8 colour;
        const char* name;
    };
    inline const std::array<Corner, 4> corners = {{{0.25, 0.125, patchColour, "top left"},
                                                   {0.75, 0.125, patchColour, "top right"},
                                                   {0.25, 0.875, patchColour, "bottom left"},
                                                   {0.75, 0.875, barOn, "bottom right"}}};

    // Frame n: the top quarter the patch colour; the middle half eight
    // vertical bars, bar b (left first) on when bit b of n is set; the bottom
    // quarter the patch colour on the left, the on-bar colour on the right.
    // RGBA, top row first. The bands are 8 lines high at 32: whole blocks
    // of the codecs.
    inline std::vector<unsigned char> picturePixels(long n, int w, int h)
    {
        std::vector<unsigned char> rgba;
        rgba.reserve(static_cast<std::size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                PixelRGBA8 c = patchColour;
                if (y >= h / 4 && y < h - h / 4)
                    c = ((n >> (x * barCount / w)) & 1) ? barOn : barOff;
                else if (y >= h - h / 4 && x >= w / 2)
                    c = barOn;
                rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
            }
        return rgba;
    }

    // What one render showed.
    struct Seen
    {
        bool blank = true;
        std::vector<int> greens; // the bars' green levels, left first
        std::array<PixelRGBA8, 4> corners{};
        int width = 0, height = 0;
    };

    enum class SourceKind
    {
        silentMovie,
        soundMovie,
        silentMpg,
        soundTsMpg,
        theoraMov,
        qmv,
        png,
        jpeg,
        sequence,
        gif
    };
    inline const std::vector<SourceKind> allKinds = {
        SourceKind::silentMovie, SourceKind::soundMovie, SourceKind::silentMpg, SourceKind::soundTsMpg,
        SourceKind::theoraMov,   SourceKind::qmv,        SourceKind::png,       SourceKind::jpeg,
        SourceKind::sequence,    SourceKind::gif};

    struct KindFacts
    {
        std::string name, fileName;
        long frames = 1;
        std::vector<double> frameMs; // each frame's length
        double lengthMs = 0.0;
        bool still = false;
        // Played by the self-timed reader: on its own clock, corrected by
        // seeks; scrubbed, by seeks that may stop on the sync frame before
        // the one asked for (at most gop - 1 frames before).
        bool selfTimed = false;
        long gop = 1;
        // Read by seeks to each frame on the backend's worker (the reader of
        // movies with sound).
        bool seeks = false;
        // Frames from one key frame of the clip to the next (1: each frame
        // decodes alone): where ping-pong windows and drags are drawn.
        long keyInterval = 1;
    };

    inline KindFacts factsOf(SourceKind kind)
    {
        KindFacts f;
        const auto uniform = [&f](long frames)
        {
            f.frames = frames;
            f.frameMs.assign(static_cast<std::size_t>(frames), 40.0);
        };
        switch (kind)
        {
        case SourceKind::silentMovie:
            f.name = "SilentMovie";
            f.fileName = "silent.mov";
            uniform(50);
            f.selfTimed = true;
            f.gop = 10;
            f.keyInterval = 10;
            break;
        case SourceKind::soundMovie:
            f.name = "SoundMovie";
            f.fileName = "sound.mov";
            uniform(50);
            f.seeks = true;
            f.keyInterval = 12;
            break;
        case SourceKind::silentMpg:
            f.name = "SilentMpg";
            f.fileName = "silent.mpg";
            uniform(103);
            f.selfTimed = true;
            f.gop = 15;
            f.keyInterval = 15;
            break;
        case SourceKind::soundTsMpg:
            // A transport stream with B-frames and sound, named as a program
            // stream is.
            f.name = "SoundTsMpg";
            f.fileName = "sound_ts.mpg";
            uniform(50);
            f.seeks = true;
            f.keyInterval = 12;
            break;
        case SourceKind::theoraMov:
            // An Ogg movie without sound, named as a QuickTime one is.
            f.name = "TheoraMov";
            f.fileName = "theora.mov";
            uniform(50);
            f.selfTimed = true;
            f.gop = 10;
            f.keyInterval = 10;
            break;
        case SourceKind::qmv:
            f.name = "QMV";
            f.fileName = "clip.qmv";
            uniform(30);
            break;
        case SourceKind::png:
            f.name = "PNG";
            f.fileName = "still.png";
            f.still = true;
            f.frameMs = {1000.0};
            break;
        case SourceKind::jpeg:
            f.name = "JPEG";
            f.fileName = "still.jpg";
            f.still = true;
            f.frameMs = {1000.0};
            break;
        case SourceKind::sequence:
            f.name = "Sequence";
            f.fileName = "sequence/frame_0000.png";
            uniform(20);
            break;
        case SourceKind::gif:
            f.name = "GIF";
            f.fileName = "uneven.gif";
            // Uneven delays, the shortest a frame at 25 fps.
            f.frameMs = {400, 40, 200, 60, 40, 300, 80, 40, 120, 40, 60, 500};
            f.frames = static_cast<long>(f.frameMs.size());
            break;
        }
        f.lengthMs = std::accumulate(f.frameMs.begin(), f.frameMs.end(), 0.0);
        return f;
    }

    // Redder (AddSubtract) takes red up by 102 levels, Darker
    // (BrightnessContrast) every channel down by 51. Each pass writes 8-bit
    // levels, so each clips: the bottom-right corner (230) comes out red 204
    // through Redder then Darker and 255 through Darker then Redder. A skipped
    // effect, or two in the wrong order, are off by 51 or more somewhere:
    // beyond the tolerance codecs need (colourTolerance).
    enum class Effect
    {
        redder,
        darker
    };
    constexpr double redderSetting = 0.7, darkerSetting = 0.4;
    // MPEG-1 and H.264 at these sizes leave flat areas within 20 levels.
    constexpr int colourTolerance = 28;
    inline const char* nameOf(Effect e)
    {
        return e == Effect::redder ? "Redder" : "Darker";
    }

    inline PixelRGBA8 through(PixelRGBA8 c, const std::vector<Effect>& chain)
    {
        const auto level = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
        for (const Effect e : chain)
        {
            if (e == Effect::redder)
                c.r = level(c.r + (2.0 * redderSetting - 1.0) * 255.0);
            else
            {
                const double d = (2.0 * darkerSetting - 1.0) * 255.0;
                c = {level(c.r + d), level(c.g + d), level(c.b + d), c.a};
            }
        }
        return c;
    }

    // The number the bars carry: their green level against the line midway
    // between the on and off levels due through the effects (a codec leaves
    // a bar up to 60 levels off where it changed); -1 when a bar is within
    // 10 of the line.
    inline long numberIn(const Seen& seen, const std::vector<Effect>& effects)
    {
        const double on = through(barOn, effects).g, off = through(barOff, effects).g;
        const double line = (on + off) / 2.0;
        long n = 0;
        for (std::size_t bar = 0; bar < seen.greens.size(); ++bar)
        {
            if (std::abs(seen.greens[bar] - line) < 10.0)
                return -1;
            if (seen.greens[bar] > line)
                n |= 1L << bar;
        }
        return n;
    }

    // The presets the sequences apply, each saved from a chain without a
    // conversion pass; their effects in this order.
    inline const std::vector<std::vector<Effect>> presetEffects = {
        {Effect::redder}, {Effect::darker, Effect::redder}, {Effect::darker}, {Effect::redder, Effect::darker}};

    enum class Direction
    {
        backward,
        forward,
        random,
        paused
    };
    inline ParamPlayDirection toPlayDirection(Direction d)
    {
        switch (d)
        {
        case Direction::backward:
            return playBackward;
        case Direction::forward:
            return playForward;
        case Direction::random:
            return playRandom;
        case Direction::paused:
            break;
        }
        return playPause;
    }

    // The play modes of the timeline, in the order of its "playMode" choice.
    inline const char* const modeNames[] = {"loop", "bounce", "once", "once and hold"};

    enum class OpKind
    {
        run, // count host frames
        play, // value: speed, below 0 backwards
        pause,
        mode, // count: the play mode
        seek, // value: fraction of the length
        scrub, // positions (fractions of the length), a host frame on each, held by the user's hand
        resize,
        release, // count 1: while seeking to value (a fraction)
        preset, // count: which
        addEffect, // count: 0 before the other effect, 1 at the end
        removeEffect,
        moveEffect, // count: 0 before the other effect, 1 to the end
        // The decoder's work held: a jump to positions[0] (its seek under
        // way), then what count says (0 a jump to positions[1]; 1 a scrub
        // over positions from the first; 2 a turn to play at value, with a
        // jump to positions[1] when there is one); when landsOne, one frame
        // of the decoder let out before the rest. Count 3: a cue corrected
        // once shown, the decoder free: a jump to positions[0], two host
        // frames, a jump to positions[1].
        cue,
        // Released (nothing shown), the play head at value (a fraction) and
        // played backwards at positions[0]; count 1: released again after
        // one host frame, before anything shows.
        backwardStart,
        // The user's hand takes the play head at positions[0] and moves it
        // evenly to positions[1] over count host frames (across key-frame
        // groups), rests there for restingRenders, then lets go. fromHead:
        // it takes the play head where it is and moves it by positions[0]
        // (below 0 down, back over frames just shown).
        drag,
        // The play head kept in a window (positions[0] to positions[1]),
        // sent to positions[2], played at value (below 0 backwards) for
        // count host frames in the play mode set; then the window is the
        // whole clip again.
        pingPong
    };

    // Host frames a drag's hand rests before it lets go.
    constexpr int restingRenders = 4;

    struct Operation
    {
        OpKind kind = OpKind::run;
        double value = 0.0;
        int count = 0;
        int width = 0, height = 0;
        Effect effect = Effect::redder;
        std::vector<double> positions;
        bool landsOne = false;
        bool fromHead = false;
    };

    inline std::string describe(const Operation& op, double lengthMs)
    {
        std::ostringstream text;
        switch (op.kind)
        {
        case OpKind::run:
            text << "run " << op.count << " frames";
            break;
        case OpKind::play:
            text << "play " << (op.value < 0 ? "backwards" : "forwards") << " at " << std::abs(op.value) << "x";
            break;
        case OpKind::pause:
            text << "pause";
            break;
        case OpKind::mode:
            text << "play mode " << modeNames[op.count];
            break;
        case OpKind::seek:
            text << "seek to " << std::lround(op.value * lengthMs) << " ms";
            break;
        case OpKind::scrub:
            text << "scrub over";
            for (double p : op.positions)
                text << " " << std::lround(p * lengthMs);
            text << " ms";
            break;
        case OpKind::resize:
            text << "resize to " << op.width << "x" << op.height;
            break;
        case OpKind::release:
            text << "release";
            if (op.count == 1)
                text << " while seeking to " << std::lround(op.value * lengthMs) << " ms";
            break;
        case OpKind::preset:
            text << "apply preset " << op.count << " (";
            for (std::size_t i = 0; i < presetEffects[static_cast<std::size_t>(op.count)].size(); ++i)
                text << (i > 0 ? ", " : "") << nameOf(presetEffects[static_cast<std::size_t>(op.count)][i]);
            text << ")";
            break;
        case OpKind::addEffect:
            text << "add " << nameOf(op.effect) << (op.count == 0 ? " first" : " last");
            break;
        case OpKind::removeEffect:
            text << "remove " << nameOf(op.effect);
            break;
        case OpKind::moveEffect:
            text << "move " << nameOf(op.effect) << (op.count == 0 ? " first" : " last");
            break;
        case OpKind::cue:
        {
            const auto ms = [&](std::size_t i) { return std::lround(op.positions[i] * lengthMs); };
            if (op.count == 3)
            {
                text << "jump to " << ms(0) << " ms, two frames later to " << ms(1) << " ms";
                break;
            }
            text << "with the decoder held: " << (op.count == 1 ? "scrub over " : "jump to ") << ms(0) << " ms";
            if (op.count == 1)
                for (std::size_t i = 1; i < op.positions.size(); ++i)
                    text << " " << ms(i) << " ms";
            else if (op.count == 2)
                text << ", play " << (op.value < 0 ? "backwards" : "forwards") << " at " << std::abs(op.value)
                     << "x";
            if (op.count != 1 && op.positions.size() > 1)
                text << (op.count == 2 ? " from " : ", jump to ") << ms(1) << " ms";
            text << (op.landsOne ? ", one frame decoded" : "") << ", let go";
            break;
        }
        case OpKind::backwardStart:
            text << "release, play backwards at " << op.positions[0] << "x from " << std::lround(op.value * lengthMs)
                 << " ms" << (op.count == 1 ? ", release after a frame" : "");
            break;
        case OpKind::drag:
            if (op.fromHead)
                text << "drag from the play head " << (op.positions[0] < 0.0 ? "down " : "up ")
                     << std::lround(std::abs(op.positions[0]) * lengthMs) << " ms";
            else
                text << "drag from " << std::lround(op.positions[0] * lengthMs) << " ms to "
                     << std::lround(op.positions[1] * lengthMs) << " ms";
            text << " in " << op.count << " frames, rest, let go";
            break;
        case OpKind::pingPong:
            text << "window " << std::lround(op.positions[0] * lengthMs) << " to "
                 << std::lround(op.positions[1] * lengthMs) << " ms, from " << std::lround(op.positions[2] * lengthMs)
                 << " ms play " << (op.value < 0 ? "backwards" : "forwards") << " at " << std::abs(op.value) << "x for "
                 << op.count << " frames, whole clip again";
            break;
        }
        return text.str();
    }

    inline std::string describeAll(const std::vector<Operation>& ops, std::size_t failing, double lengthMs)
    {
        std::string text;
        for (std::size_t i = 0; i < ops.size(); ++i)
            text += (i > 0 ? "; " : "") + describe(ops[i], lengthMs) + (i == failing ? " <- fails here" : "");
        return text.empty() ? "(loaded, first frame)" : text;
    }

    inline int rateForSeed(unsigned seed)
    {
        static const int rates[] = {25, 50, 60};
        return rates[seed % 3];
    }

    // Puts op and the run after it into ops, pairs of an operation and its
    // run, at an even place drawn from random.
    inline void insertPair(std::vector<Operation>& ops, const Operation& op, const Operation& run, std::mt19937& random)
    {
        const long place = 2 * std::uniform_int_distribution<long>(0, static_cast<long>(ops.size() / 2))(random);
        ops.insert(ops.begin() + place, {op, run});
    }

    // Movies get one or two cues given while the decoder's work is held, or
    // corrected by a frame or two once shown, at places drawn apart from the
    // rest (the other operations stay as they were): a second cue near the
    // first (a correction), a key frame then the frame before, or anywhere.
    inline void addCues(std::vector<Operation>& ops, unsigned seed, unsigned salt, const KindFacts& facts)
    {
        std::mt19937 random(seed * 2246822519u ^ salt ^ 0x5bd1e995u);
        const auto between = [&random](long low, long high)
        { return std::uniform_int_distribution<long>(low, high)(random); };
        const long last = facts.frames - 1;
        const auto at = [&facts, last](long frame)
        { return (static_cast<double>(std::clamp(frame, 0L, last)) + 0.5) * facts.frameMs[0] / facts.lengthMs; };
        const long cues = between(1, 2);
        for (long n = 0; n < cues; ++n)
        {
            Operation cue;
            cue.kind = OpKind::cue;
            cue.count = static_cast<int>(between(0, 3));
            long first = between(0, last), second = between(0, last);
            switch (between(0, 2))
            {
            case 0:
                second = first + (between(0, 1) == 0 ? -1 : 1) * between(1, 3);
                break;
            case 1:
                first = facts.gop * between(1, last / facts.gop);
                second = first - 1;
                break;
            default:
                break;
            }
            cue.positions = {at(first), at(second)};
            if (cue.count == 1 && between(0, 1) == 0)
                cue.positions.push_back(at(between(0, last)));
            if (cue.count == 2)
            {
                static const double speeds[] = {0.5, 1.0, 2.0};
                cue.value = speeds[between(0, 2)] * (between(0, 1) == 0 ? -1.0 : 1.0);
                if (between(0, 2) == 0)
                    cue.positions.pop_back();
            }
            if (cue.count == 3)
                cue.positions = {at(first), at(first - between(1, 2))};
            cue.landsOne = between(0, 1) == 0;
            Operation run;
            run.count = static_cast<int>(between(3, 10));
            insertPair(ops, cue, run, random);
        }
    }

    // Movies get a start backwards from a late frame with nothing shown (the
    // source released), and maybe a release one host frame into it, from a
    // random stream of their own (the other operations stay as they were).
    inline void addBackwardStarts(std::vector<Operation>& ops, unsigned seed, unsigned salt)
    {
        std::mt19937 random(seed * 3266489917u ^ salt ^ 0x165667b1u);
        const auto between = [&random](long low, long high)
        { return std::uniform_int_distribution<long>(low, high)(random); };
        static const double speeds[] = {0.5, 1.0, 2.0};
        Operation start;
        start.kind = OpKind::backwardStart;
        start.value = std::uniform_real_distribution<double>(0.6, 1.0)(random);
        start.positions = {speeds[between(0, 2)]};
        start.count = static_cast<int>(between(0, 1));
        Operation run;
        run.count = static_cast<int>(between(6, 16));
        insertPair(ops, start, run, random);
    }

    // Movies get a drag across most of the clip, forwards or back, from a
    // random stream of its own (the other operations stay as they were).
    inline void addDrag(std::vector<Operation>& ops, unsigned seed, unsigned salt)
    {
        std::mt19937 random(seed * 3266489917u ^ salt ^ 0x27d4eb2fu);
        const auto fraction = [&random](double low, double high)
        { return std::uniform_real_distribution<double>(low, high)(random); };
        Operation drag;
        drag.kind = OpKind::drag;
        drag.positions = {fraction(0.0, 0.2), fraction(0.75, 1.0)};
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0)
            std::swap(drag.positions[0], drag.positions[1]);
        drag.count = std::uniform_int_distribution<int>(12, 40)(random);
        Operation run;
        run.count = std::uniform_int_distribution<int>(3, 10)(random);
        insertPair(ops, drag, run, random);
    }

    // Where frame n starts, and its middle, in ms.
    inline double startOf(const KindFacts& facts, long n)
    {
        return std::accumulate(facts.frameMs.begin(), facts.frameMs.begin() + n, 0.0);
    }
    inline double middleOf(const KindFacts& facts, long n)
    {
        return startOf(facts, n) + facts.frameMs[static_cast<std::size_t>(n)] / 2.0;
    }

    // Clips that play get, after the rest (which stays as it was), from a
    // random stream of their own and in an order drawn: a ping-pong in a
    // window within one key-frame group or across a key frame; a loop
    // played backwards from near frame 0 across its wrap into the last
    // group; the hand taking the play head where it is, playing forwards,
    // paused or backwards, and dragging it down over the frames just shown
    // (within a group or across groups), or up.
    inline void addTurnsWrapsAndDrags(std::vector<Operation>& ops, unsigned seed, unsigned salt, const KindFacts& facts)
    {
        std::mt19937 random(seed * 2654435761u ^ salt ^ 0x7feb352du);
        const auto between = [&random](long low, long high)
        { return std::uniform_int_distribution<long>(low, high)(random); };
        static const double speeds[] = {0.5, 1.0, 2.0};
        const auto speed = [&] { return speeds[between(0, 2)]; };
        const double length = facts.lengthMs, stepMs = 1000.0 / rateForSeed(seed);
        const long last = facts.frames - 1, key = facts.keyInterval;
        const auto op = [](OpKind kind, int count = 0, double value = 0.0)
        {
            Operation made;
            made.kind = kind, made.count = count, made.value = value;
            return made;
        };
        // Started a little past a frame's middle, the play head is never
        // stepped onto an end, where the timeline's sums and the model's
        // may differ on whether it turned or wrapped.
        const double offMiddleMs = 12.0;
        std::vector<std::vector<Operation>> parts;
        {
            // The window's ends in the middles of its end frames.
            long low = 0, high = 0;
            if (key > 3 && between(0, 1) == 0)
            {
                const long group = key * between(0, (last - 2) / key), top = std::min(group + key - 1, last);
                low = between(group, top - 2);
                high = between(low + 2, top);
            }
            else if (key > 3)
            {
                const long at = key * between(1, last / key);
                low = at - between(1, key / 2);
                high = std::min(last, at + between(1, key / 2));
            }
            else
            {
                low = between(0, last - 2);
                high = std::min(last, low + between(2, 8));
            }
            Operation window = op(OpKind::pingPong, static_cast<int>(between(10, 24)));
            window.value = speed();
            window.value *= between(0, 1) == 0 ? -1.0 : 1.0;
            window.positions = {middleOf(facts, low) / length, middleOf(facts, high) / length,
                                (middleOf(facts, between(low, high - 1)) + offMiddleMs) / length};
            parts.push_back(
                {op(OpKind::mode, 1), op(OpKind::run), window, op(OpKind::run, static_cast<int>(between(1, 6)))});
        }
        {
            // Enough frames to reach frame 0 and play some of the last group.
            const long from = between(0, std::min(last, key / 2 + 1));
            static const double loopSpeeds[] = {1.0, 2.0};
            const double at = loopSpeeds[between(0, 1)], perRender = at * stepMs;
            Operation seek = op(OpKind::seek);
            seek.value = (middleOf(facts, from) + offMiddleMs) / length;
            const long lastOnes = std::min(last, between(2, key / 2 + 2));
            const double beyond = startOf(facts, last + 1) - startOf(facts, last + 1 - lastOnes);
            const int renders = static_cast<int>(std::ceil((middleOf(facts, from) + offMiddleMs + beyond) / perRender));
            parts.push_back({op(OpKind::mode, 0), op(OpKind::run), seek, op(OpKind::run), op(OpKind::play, 0, -at),
                             op(OpKind::run, std::min(renders, 40))});
        }
        {
            const long way = between(0, 2);
            Operation before = way == 1 ? op(OpKind::pause) : op(OpKind::play, 0, speed() * (way == 0 ? -1.0 : 1.0));
            // Down within a group or across groups, or up; the hand moving
            // half a frame to three frames a render.
            const long frames = key <= 3     ? between(2, std::min(last, 10L))
                                : between(0, 1) == 0 ? between(2, key - 1)
                                                     : between(key + 1, std::min(last, 3 * key));
            static const double handFrames[] = {0.5, 1.0, 2.0, 3.0};
            const long renders = std::lround(static_cast<double>(frames) / handFrames[between(0, 3)]);
            Operation drag = op(OpKind::drag, static_cast<int>(std::clamp(renders, 2L, 24L)));
            drag.fromHead = true;
            drag.positions = {(between(0, 2) == 0 ? 1.0 : -1.0) * static_cast<double>(frames) /
                              static_cast<double>(facts.frames)};
            parts.push_back({before, op(OpKind::run, static_cast<int>(between(2, 6))), drag,
                             op(OpKind::run, static_cast<int>(between(2, 5)))});
        }
        for (std::size_t i = parts.size() - 1; i > 0; --i)
            std::swap(parts[i], parts[static_cast<std::size_t>(between(0, static_cast<long>(i)))]);
        for (const std::vector<Operation>& part : parts)
            ops.insert(ops.end(), part.begin(), part.end());
    }

    // A user's session: operations, each followed by some host frames. The
    // kind's name goes into the seed: kinds of the same length play
    // different sessions. Every session applies a preset.
    inline std::vector<Operation> operationsForSeed(unsigned seed, const KindFacts& facts)
    {
        unsigned salt = 2166136261u;
        for (const char c : facts.name)
            salt = (salt ^ static_cast<unsigned char>(c)) * 16777619u;
        std::mt19937 random(seed * 2654435761u ^ salt);
        const auto between = [&random](int low, int high)
        { return std::uniform_int_distribution<int>(low, high)(random); };
        const auto fraction = [&random] { return std::uniform_real_distribution<double>(0.0, 1.0)(random); };
        static const double speeds[] = {0.5, 1.0, 2.0, 4.0};
        static const int sizes[][2] = {{48, 24}, {96, 48}, {80, 40}, {64, 32}, {128, 64}};
        // Weights of play, pause, mode, seek, scrub, resize, release, preset,
        // add, remove, move.
        std::discrete_distribution<int> pick({6, 1, 2, 2, 1, 1, 2, 1, 2, 1, 2});
        std::vector<Operation> ops;
        const int count = between(10, 14);
        bool presetDrawn = false;
        for (int i = 0; i < count; ++i)
        {
            Operation op;
            int frames = between(1, 6);
            int which = pick(random);
            if (i == count - 1 && ! presetDrawn)
                which = 7;
            switch (which)
            {
            case 0:
                op.kind = OpKind::play;
                op.value = speeds[between(0, 3)] * (between(0, 2) == 0 ? -1.0 : 1.0);
                frames = between(8, 24);
                break;
            case 1:
                op.kind = OpKind::pause;
                break;
            case 2:
                op.kind = OpKind::mode;
                op.count = between(0, 3);
                break;
            case 3:
                op.kind = OpKind::seek;
                op.value = fraction();
                frames = between(3, 10);
                break;
            case 4:
                op.kind = OpKind::scrub;
                for (int n = 0; n < 3; ++n)
                    op.positions.push_back(fraction());
                break;
            case 5:
            {
                op.kind = OpKind::resize;
                const int s = between(0, 4);
                op.width = sizes[s][0];
                op.height = sizes[s][1];
                break;
            }
            case 6:
                op.kind = OpKind::release;
                op.count = between(0, 1);
                op.value = fraction();
                break;
            case 7:
                op.kind = OpKind::preset;
                op.count = between(0, static_cast<int>(presetEffects.size()) - 1);
                presetDrawn = true;
                break;
            case 8:
                op.kind = OpKind::addEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                op.count = between(0, 1);
                break;
            case 9:
                op.kind = OpKind::removeEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                break;
            default:
                op.kind = OpKind::moveEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                op.count = between(0, 1);
                break;
            }
            ops.push_back(op);
            Operation run;
            run.count = frames;
            ops.push_back(run);
        }
        if (facts.seeks || facts.selfTimed)
        {
            addCues(ops, seed, salt, facts);
            addBackwardStarts(ops, seed, salt);
            addDrag(ops, seed, salt);
        }
        if (! facts.still)
            addTurnsWrapsAndDrags(ops, seed, salt, facts);
        return ops;
    }

    // The seeds to run: one when seedText names it, 1 to count when
    // countText gives a count, else the fixed set: a seed of each render
    // rate, chosen among those whose cues and loops meet a superseded
    // seek's frame shown, a landed frame beyond the play head at random,
    // a jump back not sought and a loop short of its last frame.
    inline std::vector<unsigned> seedsToRun(const std::string& seedText, const std::string& countText)
    {
        if (! seedText.empty())
            return {static_cast<unsigned>(std::strtoul(seedText.c_str(), nullptr, 10))};
        std::vector<unsigned> seeds;
        if (! countText.empty())
        {
            const unsigned long count = std::strtoul(countText.c_str(), nullptr, 10);
            for (unsigned long s = 1; s <= count; ++s)
                seeds.push_back(static_cast<unsigned>(s));
            return seeds;
        }
        return {3, 22, 29};
    }

    // Before each render the test lets the feeding thread read the play
    // head and lets every seek the reader reports land (a machine fast
    // enough for the clip). Within that:
    //  - a reader that reads in the feeding thread, or seeks to each frame
    //    and reports the seek, shows the play head's frame at every render;
    //  - a self-timed movie does too paused and backwards (where it steps
    //    by seeks, or its backend hands out the frames of a key-frame group
    //    decoded once, reporting that it catches up), and played forwards
    //    within selfTimedTrailRenders. After a jump (a seek, the end
    //    of a scrub, a loop's wrap), a turn (a new direction, a bounce) or a
    //    release, the first read asks a seek and the frame it lands on
    //    reaches the texture by the render after: for selfTimedCatchUp
    //    renders it may still show the last frame it showed, or a frame
    //    between it and the play head's, never one beyond;
    //  - while the user holds the play head (each position a jump) a
    //    self-timed movie's seeks may stop on the sync frame before the
    //    frame asked for; once the hand has rested two renders, the frame
    //    itself shows;
    //  - while the user holds the play head and the decoder is held, a
    //    reader that seeks may show a frame of the hand's key-frame group
    //    below the hand's (a stand-in while the hand's frame decodes);
    //  - a reader that buffers (the render reads, from frames fetched on
    //    task threads) may show the frame before in the render of a jump;
    //  - after a release (and the load) the render that initialises the
    //    source reads its first frame: a reader that seeks may show nothing
    //    in it, a self-timed movie nothing for selfTimedCatchUp renders (its
    //    first seek is asked in that render); every other reader shows its
    //    frame at once.
    constexpr int selfTimedCatchUp = 2;
    // In forward play a self-timed movie shows frames its backend decodes
    // ahead on a thread of its own, which reports nothing the test could
    // wait for: on a busy machine (two cores under ThreadSanitizer) that
    // thread may fall behind by what the play head passes in this many
    // renders, never ahead of the play head or back.
    constexpr double selfTimedTrailRenders = 2.0;
    // While the decoder's work is held (cue) the renders come without
    // waiting for seeks: each may show the frame shown last or one on the
    // way from it to the play head's in the direction of play (straight at
    // random, where a self-timed movie, whose seeks may stop short, shows
    // none beyond the play head), never one of a request the play head has
    // left behind. After a jump, played either way, the way starts at the
    // jump's frame: none before it shows (an earlier cue's frame passed on
    // the way), until it or one after it up to the play head's has. Once let go, the renders wait for the seeks again: the
    // first shows the play head's frame (a reader that seeks to each
    // frame), or within selfTimedCatchUp renders (a self-timed movie), as
    // after a jump.
    // Played forwards in a loop at a speed the renders keep up with (the
    // play head in each frame at one render at least), a self-timed movie
    // shows every frame the play head is in, in turn, none left out, the
    // frame after the last one the wrap goes to (frame 0 when the play head
    // is in it).
    // Whatever the allowances above let through, the picture never stands:
    // no frame shown lies beyond where the play head (or the hand) was
    // standRenders renders before, that is outside the frames it went over
    // since (round the loop at a wrap, to the window's end and back at a
    // bounce, straight across a jump), or those a held self-timed movie's
    // seek may stop at. The bound follows from how the renders wait:
    //  - a reader that seeks to each frame: the render waits for the seek,
    //    0;
    //  - a reader that buffers: the render of a jump may show the frame
    //    before, 1;
    //  - a self-timed movie: a frame that trails the play head by
    //    selfTimedTrailRenders in forward play may still show for
    //    selfTimedCatchUp renders after a jump (a seek asked in the pass of
    //    one render lands before the next pass, its frame reaches the
    //    texture by the render after), 4; in forward play the frames of
    //    its trail (whole frames, see selfTimedTrail) count as the play
    //    head's own. During a drag each render is a jump, where the checks
    //    above let the last frame shown stand; this is what bounds it.
    //  - any other reader reads in the feeding thread or the render, 0.
    // Not judged while the decoder's work is held and the renders after it
    // is let go that are judged as then.

    // The play head as the engine's timeline must move it, and what the
    // source is set to, with what it has shown.
    class Model
    {
    public:
        Model(KindFacts kindFacts, int hostRate) : facts(std::move(kindFacts)), rate(hostRate)
        {
            head = 0.0;
            windowEnd = facts.lengthMs;
            for (double ms : facts.frameMs)
                shortestFrameMs = std::min(shortestFrameMs, ms);
        }

        bool playing() const { return direction == Direction::forward || direction == Direction::backward; }

        // One host frame of the play head: speed x the frame's time, kept in
        // the clip by the play mode (loop: wrap; bounce: turn at the ends;
        // once, once and hold: stop at the end played towards).
        void advance()
        {
            loopsThisFrame = 0;
            if (holding || ! playing())
                return;
            const double step = speed * 1000.0 / rate;
            const double low = windowStart, high = windowEnd;
            double next = head + (direction == Direction::forward ? step : -step);
            if (next > high || next < low)
            {
                const bool pastEnd = next > high;
                switch (mode)
                {
                case 0:
                    next += pastEnd ? low - high : high - low;
                    loopsThisFrame = pastEnd ? 1 : -1;
                    passed(pastEnd ? head : low, pastEnd ? high : head);
                    passed(pastEnd ? low : next, pastEnd ? next : high);
                    jumped();
                    break;
                case 1:
                    next = pastEnd ? 2.0 * high - next : 2.0 * low - next;
                    passed(pastEnd ? std::min(head, next) : low, pastEnd ? high : std::max(head, next));
                    direction = pastEnd ? Direction::backward : Direction::forward;
                    turned();
                    break;
                default:
                    next = pastEnd ? high : low;
                    passed(head, next);
                    break;
                }
            }
            else
                passed(head, next);
            head = headBefore = next;
        }

        // The play head kept between startMs and stopMs by the play mode.
        void setWindow(double startMs, double stopMs)
        {
            windowStart = startMs;
            windowEnd = stopMs;
        }

        // A jump, a turn or the end of a scrub: a self-timed movie may catch
        // up for a while.
        void jumped() { sinceJump = 0; }

        // A turn: the way starts at the play head's frame, whatever jump
        // came before; a frame between it and where the play head has gone
        // since may show on the way.
        void turned()
        {
            jumped();
            jumpTarget = -1;
            wayFrom = frameAt(head);
        }

        // The user moved the play head: when against the direction of play,
        // the way the picture may take also starts where it went; and,
        // unless it went on in that direction by no more than play takes it
        // between two reads (half a second at its speed, a frame's margin
        // either way), no frame before where it went in the direction of
        // play shows until one from there on does (see cue).
        void jumpedTo()
        {
            passed(headBefore, head);
            headBefore = head;
            const long to = frameAt(head);
            if (wayFrom < 0 || (direction == Direction::forward && to < wayFrom) ||
                (direction == Direction::backward && to > wayFrom))
                wayFrom = to;
            const double on = direction == Direction::forward ? head - headAtRender : headAtRender - head;
            const double reach = 500.0 * std::max(1.0, speed);
            if (! playing() || on < 0.0 || on > reach + facts.frameMs[0])
                jumpTarget = to;
            else if (on > reach - facts.frameMs[0])
                jumpTarget = -1;
            restingFor = 0;
        }

        // The hand holding the play head stays where it was for another
        // host frame (0 when it moved).
        void handRests(bool rests) { restingFor = rests ? restingFor + 1 : 0; }

        // Any operation other than host frames running: the loop's run of
        // frames starts again.
        void interrupted()
        {
            loopFrames.clear();
            loopShown = 0;
        }

        void holdDecoder() { decoderHeld = true; }
        void letGoDecoder()
        {
            decoderHeld = false;
            sinceLetGo = 0;
            jumped();
        }

        // A release (or the load): the reader made again is first asked for
        // the play head's frame now.
        void releasedNow()
        {
            reaches.clear();
            passedMs.clear();
            headBefore = head;
            sinceRelease = 0;
            shownSinceRelease = false;
            lastShown = wayFrom = frameAt(head);
            jumpTarget = -1;
            interrupted();
            jumped();
        }

        // The play head's time in ms wrapped into the clip.
        double wrapped(double ms) const
        {
            const double w = std::fmod(ms, facts.lengthMs);
            return w < 0.0 ? w + facts.lengthMs : w;
        }

        // The head adds up host frames and may land a few units in the last
        // place short of a frame's start it is on in exact figures: that
        // close, it is on the start. At the very end, the last frame.
        long frameAt(double ms) const
        {
            if (facts.still)
                return stillNumber;
            const double at = ms + std::abs(ms) * 1e-9;
            double start = 0.0;
            for (std::size_t i = 0; i < facts.frameMs.size(); ++i)
            {
                start += facts.frameMs[i];
                if (at < start)
                    return static_cast<long>(i);
            }
            return facts.frames - 1;
        }

        // Whether the engine's play head is where the model's is: within a
        // millionth of a ms, the two ends of a looping window being one
        // place.
        bool headAgrees(double engineMs) const
        {
            const double d = std::abs(engineMs - head);
            return d < 1e-6 || (mode == 0 && std::abs(d - (windowEnd - windowStart)) < 1e-6);
        }

        // Whether the timeline counted the loops the host frame made (the
        // count slaved timelines follow): one up for a wrap at the end, one
        // down at the start, none else, in loop mode played by the timeline.
        // Not judged when the two heads stand at the two ends.
        bool loopsAgree(int counted, double engineMs) const
        {
            if (mode != 0 || holding || ! playing() || std::abs(engineMs - head) >= 1e-6)
                return true;
            return counted == loopsThisFrame;
        }

        // The loops the play head made in the last host frame.
        int loopsThisFrame = 0;

        // Frames from one to another in the direction of play around the
        // loop (0 to frames - 1).
        long forwardSteps(long from, long to) const
        {
            long d = (to - from) % facts.frames;
            return d < 0 ? d + facts.frames : d;
        }

        // Whether number lies between from and to: on the way the play head
        // goes round the loop in its direction, or on the straight way.
        bool between(long from, long number, long to) const
        {
            if (std::min(from, to) <= number && number <= std::max(from, to))
                return true;
            if (direction == Direction::forward)
                return forwardSteps(from, number) <= forwardSteps(from, to);
            if (direction == Direction::backward)
                return forwardSteps(number, from) <= forwardSteps(to, from);
            return false;
        }

        long numberIn(const Seen& seen) const { return sequence::numberIn(seen, effects); }

        // The corner whose colour is not the one due through the effects in
        // their order; -1 when all are.
        int wrongCorner(const Seen& seen) const
        {
            for (std::size_t i = 0; i < corners.size(); ++i)
            {
                const PixelRGBA8 due = through(corners[i].colour, effects);
                const PixelRGBA8 got = seen.corners[i];
                if (std::abs(got.r - due.r) > colourTolerance || std::abs(got.g - due.g) > colourTolerance ||
                    std::abs(got.b - due.b) > colourTolerance)
                    return static_cast<int>(i);
            }
            return -1;
        }

        // A check failed: its name and what was seen.
        struct Verdict
        {
            std::string check, message;
        };

        // Judges one render, once; then counts it.
        std::optional<Verdict> judge(const Seen& seen)
        {
            // The render after a release initialises the source: its first
            // read is at the play head as it is now, not at the release.
            if (sinceRelease == 0 && ! shownSinceRelease)
                lastShown = wayFrom = frameAt(head);
            headAtRender = headBefore = head;
            std::optional<Verdict> verdict = judgeOnly(seen);
            if (! verdict)
                verdict = judgeLoop(seen);
            if (! verdict)
                verdict = judgeStand(seen);
            ++sinceJump;
            ++sinceRelease;
            ++sinceLetGo;
            return verdict;
        }

        std::string where() const
        {
            std::ostringstream text;
            text << "play head " << std::lround(head) << " ms, in frame " << frameAt(head) << ", "
                 << (holding                            ? "held by the user"
                     : direction == Direction::forward  ? "forwards"
                     : direction == Direction::backward ? "backwards"
                                                        : "paused")
                 << " at " << speed << "x, " << modeNames[mode] << "; " << sinceJump
                 << " renders since a jump or turn";
            if (decoderHeld)
                text << ", decoder held";
            else if (sinceLetGo < 100)
                text << ", " << sinceLetGo << " renders since the decoder was let go";
            return text.str();
        }

        KindFacts facts;
        int rate;
        double head = 0.0;
        double speed = 1.0;
        Direction direction = Direction::paused;
        int mode = 0;
        // The user holds the play head (a scrub).
        bool holding = false;
        int width = clipWidth, height = clipHeight;
        bool resizable = true;
        // The reader buffers: the render reads, not the feeding thread.
        bool buffering = false;
        // The effects in the chain, in its order.
        std::vector<Effect> effects;
        // The decoder's work is held (cue).
        bool decoderHeld = false;

    private:
        // Renders after the decoder was let go judged as while it was held.
        int letGoRenders() const { return facts.selfTimed ? selfTimedCatchUp : 0; }

        // Whether number lies on the way the picture may take to due (see
        // cue): from the frame shown last in the direction of play (round
        // the loop in loop mode), or from where the play head jumped to
        // against it.
        bool onTheWay(long number, long due) const
        {
            const long shown = lastShown;
            if (holding && facts.selfTimed)
                return std::min(shown, due) <= number && number <= due;
            if (holding)
                return std::min(shown, due) <= number && number <= std::max(shown, due);
            if (jumpTarget >= 0 && playing())
                return between(jumpTarget, number, due);
            switch (direction)
            {
            case Direction::forward:
                return (mode == 0 ? forwardSteps(shown, number) <= forwardSteps(shown, due)
                                  : shown <= number && number <= due) ||
                       (wayFrom >= 0 && wayFrom <= number && number <= due);
            case Direction::backward:
                return (mode == 0 ? forwardSteps(number, shown) <= forwardSteps(due, shown)
                                  : due <= number && number <= shown) ||
                       (wayFrom >= 0 && due <= number && number <= wayFrom);
            default:
                return std::min(shown, due) <= number && number <= std::max(shown, due);
            }
        }

        // The loop oracle (see cue), on a render the other checks passed.
        std::optional<Verdict> judgeLoop(const Seen& seen)
        {
            const bool applies = facts.selfTimed && mode == 0 && direction == Direction::forward && ! holding &&
                                 ! decoderHeld && sinceLetGo >= letGoRenders() &&
                                 speed * 1000.0 / rate <= shortestFrameMs + 1e-9;
            const long number = seen.blank ? -1 : numberIn(seen), due = frameAt(head);
            if (! applies || number < 0)
            {
                interrupted();
                return std::nullopt;
            }
            // The run starts at a render showing the play head's frame.
            if (loopFrames.empty())
            {
                if (number == due)
                    loopFrames.push_back(due);
                return std::nullopt;
            }
            if (loopFrames.back() != due)
                loopFrames.push_back(due);
            if (number == loopFrames[loopShown])
                return std::nullopt;
            if (loopShown + 1 < loopFrames.size() && number == loopFrames[loopShown + 1])
            {
                ++loopShown;
                return std::nullopt;
            }
            std::ostringstream text;
            text << "shows frame " << number << " after frame " << loopFrames[loopShown] << " where ";
            if (loopShown + 1 < loopFrames.size())
                text << "frame " << loopFrames[loopShown + 1] << " is";
            else
                text << "no other frame is";
            text << " next in play (" << where() << ")";
            return Verdict{"shows every frame of a loop in turn", text.str()};
        }

        void passed(double fromMs, double toMs)
        {
            passedMs.emplace_back(std::min(fromMs, toMs), std::max(fromMs, toMs));
        }

        // Renders the picture may stand behind the play head (see cue).
        int standRenders() const
        {
            if (facts.selfTimed)
                return selfTimedCatchUp + static_cast<int>(std::ceil(selfTimedTrailRenders));
            return buffering ? 1 : 0;
        }

        // The stand oracle (see cue), on a render the other checks passed;
        // counts the render's reach in.
        std::optional<Verdict> judgeStand(const Seen& seen)
        {
            Reach reach;
            const long due = frameAt(head);
            reach.own.emplace_back(due, due);
            if (holding && facts.selfTimed)
                reach.own.emplace_back(std::max(0L, due - facts.gop + 1), due);
            // Played forwards a self-timed movie keeps to the play head
            // within the trail the checks above allow (its player corrects
            // drift beyond a tenth of a second only): a slow play head stays
            // in a frame longer than standRenders while the one before shows.
            if (facts.selfTimed && direction == Direction::forward && ! holding)
            {
                const long trail = selfTimedTrail();
                reach.own.emplace_back(std::max(0L, due - trail), due);
                if (mode == 0 && due < trail)
                    reach.own.emplace_back(facts.frames + due - trail, facts.frames - 1);
            }
            for (const auto& [from, to] : passedMs)
                reach.passed.emplace_back(frameAt(from), frameAt(to));
            passedMs.clear();
            reaches.push_back(std::move(reach));
            while (reaches.size() > static_cast<std::size_t>(standRenders()) + 1)
                reaches.pop_front();
            const long number = seen.blank ? -1 : numberIn(seen);
            if (number < 0 || decoderHeld || sinceLetGo < letGoRenders())
                return std::nullopt;
            // The first render counted stands for where the play head was
            // then; the others also for the way it went from there.
            std::vector<std::pair<long, long>> spans;
            for (std::size_t i = 0; i < reaches.size(); ++i)
            {
                spans.insert(spans.end(), reaches[i].own.begin(), reaches[i].own.end());
                if (i > 0)
                    spans.insert(spans.end(), reaches[i].passed.begin(), reaches[i].passed.end());
            }
            if (std::any_of(spans.begin(), spans.end(),
                            [number](const auto& span) { return span.first <= number && number <= span.second; }))
                return std::nullopt;
            std::sort(spans.begin(), spans.end());
            std::vector<std::pair<long, long>> merged;
            for (const auto& span : spans)
                if (! merged.empty() && span.first <= merged.back().second + 1)
                    merged.back().second = std::max(merged.back().second, span.second);
                else
                    merged.push_back(span);
            std::ostringstream text;
            text << "shows frame " << number << " where one of frames";
            for (std::size_t i = 0; i < merged.size(); ++i)
            {
                text << (i > 0 ? "," : "") << " " << merged[i].first;
                if (merged[i].second > merged[i].first)
                    text << "-" << merged[i].second;
            }
            text << " is due: the play head went there from frame " << reaches.front().own.front().first
                 << " in the last " << reaches.size() - 1 << " renders, the picture stands (" << where() << ")";
            return Verdict{"never stands behind the play head", text.str()};
        }

        std::optional<Verdict> judgeOnly(const Seen& seen)
        {
            const long due = frameAt(head);
            const bool blankAllowed = sinceRelease < (facts.selfTimed ? selfTimedCatchUp : facts.seeks ? 1 : 0) ||
                                      decoderHeld || sinceLetGo < std::max(letGoRenders(), 1);
            if (seen.blank)
            {
                if (! shownSinceRelease && blankAllowed)
                    return std::nullopt;
                if (! shownSinceRelease)
                    return Verdict{"comes back after a release",
                                   "shows nothing " + std::to_string(sinceRelease) + " renders after (" + where() +
                                       ")"};
                return Verdict{"never goes blank once shown",
                               "shows nothing after frame " + std::to_string(lastShown) + " (" + where() + ")"};
            }
            std::ostringstream text;
            if (seen.width != width || seen.height != height)
            {
                text << "is " << seen.width << "x" << seen.height << " where " << width << "x" << height << " is due";
                return Verdict{"follows setSize", text.str()};
            }
            // Colours gone wrong make the bars unreliable too: they come first.
            if (const int corner = wrongCorner(seen); corner >= 0)
            {
                const PixelRGBA8 due = through(corners[static_cast<std::size_t>(corner)].colour, effects);
                const PixelRGBA8 got = seen.corners[static_cast<std::size_t>(corner)];
                text << corners[static_cast<std::size_t>(corner)].name << " " << int(got.r) << "," << int(got.g)
                     << "," << int(got.b) << " where " << int(due.r) << "," << int(due.g) << "," << int(due.b)
                     << " is due (effects:";
                for (const Effect e : effects)
                    text << " " << nameOf(e);
                text << "; corners";
                for (const PixelRGBA8& c : seen.corners)
                    text << " " << int(c.r) << "," << int(c.g) << "," << int(c.b);
                text << ")";
                return Verdict{"keeps its colours, effects in order, upright", text.str()};
            }
            const long number = numberIn(seen);
            const std::optional<std::string> wrong = wrongNumber(number, due);
            if (wrong)
                return Verdict{"shows the play head's frame",
                               "shows " +
                                   (number < 0 ? std::string("unreadable bars") : "frame " + std::to_string(number)) +
                                   " where " + *wrong + " is due (" + where() + ")"};
            if (number != lastShown)
                wayFrom = number;
            // The jump's frame or one after it shows: the way goes on from it.
            if (jumpTarget >= 0 && between(jumpTarget, number, due))
                jumpTarget = -1;
            lastShown = number;
            shownSinceRelease = true;
            return std::nullopt;
        }

        // What is due when number is not allowed; nothing when it is.
        std::optional<std::string> wrongNumber(long number, long due) const
        {
            if (number == due)
                return std::nullopt;
            if (decoderHeld || sinceLetGo < letGoRenders())
            {
                if (lastShown >= 0 && number >= 0 && (number == lastShown || onTheWay(number, due)))
                    return std::nullopt;
                if (facts.selfTimed && holding && number >= std::max(0L, due - facts.gop + 1) && number <= due)
                    return std::nullopt;
                if (facts.seeks && holding && number >= due / facts.keyInterval * facts.keyInterval && number <= due)
                    return std::nullopt;
                return "frame " + std::to_string(due) + ", " + std::to_string(lastShown) +
                       " (the last shown) or one on the way (from " + std::to_string(wayFrom) + ")";
            }
            if (facts.selfTimed && sinceJump < selfTimedCatchUp && lastShown >= 0 && number >= 0 &&
                (number == lastShown || between(wayStart(), number, due)))
                return std::nullopt;
            if (facts.selfTimed && holding && restingFor >= 2)
                return "frame " + std::to_string(due) + " (the hand rests)";
            if (facts.selfTimed && holding)
            {
                const long sync = std::max(0L, due - facts.gop + 1);
                if (number >= sync && number <= due)
                    return std::nullopt;
                return "a frame from " + std::to_string(sync) + " to " + std::to_string(due);
            }
            // A reader that buffers reads in the render, from frames its
            // task threads fetch: the render of a jump may still show the
            // frame before.
            if (buffering && sinceJump < 1 && number == lastShown)
                return std::nullopt;
            // Played forwards, never back, never ahead, within the trail.
            if (facts.selfTimed && direction == Direction::forward && lastShown >= 0 && number >= 0 &&
                between(wayStart(), number, due) && forwardSteps(number, due) <= selfTimedTrail())
                return std::nullopt;
            return "frame " + std::to_string(due);
        }

        // Where the picture's way in the direction of play starts: the
        // frame of a jump not yet reached, else the frame shown last.
        long wayStart() const { return jumpTarget >= 0 && playing() ? jumpTarget : lastShown; }

        // Frames a self-timed movie played forwards may trail by: what the
        // play head passes in selfTimedTrailRenders renders.
        long selfTimedTrail() const
        {
            return static_cast<long>(std::ceil(selfTimedTrailRenders * speed * 1000.0 / rate / shortestFrameMs));
        }

        // The stand oracle (see cue): the play head's moves since the render
        // before (ms, low first), and the reach of each of the last
        // standRenders() + 1 renders: the frames it stood for (its own, or
        // those a held self-timed movie's seek may stop at) and those it went
        // over to get there.
        struct Reach
        {
            std::vector<std::pair<long, long>> own, passed;
        };
        std::vector<std::pair<double, double>> passedMs;
        std::deque<Reach> reaches;
        double headBefore = 0.0;
        // The play head's window.
        double windowStart = 0.0, windowEnd = 0.0;

        double shortestFrameMs = 1e9;
        long lastShown = -1;
        // Where the play head jumped to against the direction of play, or
        // the frame shown since (see cue).
        long wayFrom = -1;
        // The frame of the newest jump while no frame from it on has shown
        // (-1 for none): before it in the direction of play none may.
        long jumpTarget = -1;
        // Host frames the holding hand has stayed where it was.
        int restingFor = 0;
        // The play head at the last render.
        double headAtRender = 0.0;
        int sinceLetGo = 1000;
        // The loop oracle: the play head's frames in play, in turn, and
        // which of them shows.
        std::vector<long> loopFrames;
        std::size_t loopShown = 0;
        bool shownSinceRelease = false;
        int sinceJump = 0;
        int sinceRelease = 0;
    };

    // The shortest sequence found, within budgetSeconds, that still fails
    // the same check: chunks of operations dropped while it does, then runs
    // of host frames shortened.
    template <typename Failure, typename Replay>
    std::vector<Operation> shrink(std::vector<Operation> ops, const Failure& original, double budgetSeconds,
                                  Replay replay)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::duration<double>(budgetSeconds);
        const auto timeLeft = [&giveUp] { return std::chrono::steady_clock::now() < giveUp; };
        const auto stillFails = [&](const std::vector<Operation>& candidate)
        {
            const auto failure = replay(candidate);
            return failure.has_value() && failure->check == original.check;
        };
        // Nothing after the operation that failed matters.
        if (original.operation + 1 < ops.size())
        {
            std::vector<Operation> cut(ops.begin(), ops.begin() + static_cast<long>(original.operation) + 1);
            if (stillFails(cut))
                ops = cut;
        }
        for (std::size_t chunk = std::max<std::size_t>(ops.size() / 2, 1); chunk >= 1 && timeLeft();)
        {
            bool dropped = false;
            for (std::size_t start = 0; start < ops.size() && timeLeft();)
            {
                std::vector<Operation> candidate = ops;
                candidate.erase(candidate.begin() + static_cast<long>(start),
                                candidate.begin() + static_cast<long>(std::min(ops.size(), start + chunk)));
                if (stillFails(candidate))
                {
                    ops = candidate;
                    dropped = true;
                }
                else
                    start += chunk;
            }
            if (! dropped)
            {
                if (chunk == 1)
                    break;
                chunk /= 2;
            }
        }
        for (std::size_t i = 0; i < ops.size() && timeLeft(); ++i)
            while (ops[i].kind == OpKind::run && ops[i].count > 1 && timeLeft())
            {
                std::vector<Operation> candidate = ops;
                candidate[i].count /= 2;
                if (! stillFails(candidate))
                    break;
                ops = candidate;
            }
        return ops;
    }
}
