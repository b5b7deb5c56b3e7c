#pragma once

// The model behind the file-source sequence test: the pictures every clip
// carries (frame number in bars, a colour patch), the kinds of source, the
// operations a user does, their seeded generation and shrinking, and what a
// render must show for the play head the model keeps.

#include "engine/behaviours/VXModifierTimeline.h"
#include "support/gl/VXGLTestFixture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vx::test::sequence
{
    constexpr int clipWidth = 64, clipHeight = 32, barCount = 8;
    // The number a still picture carries.
    constexpr long stillNumber = 165;
    const PixelRGBA8 barOn{230, 230, 230, 255}, barOff{25, 25, 25, 255}, patchColour{90, 128, 170, 255};

    // Frame n: the top and bottom quarters the patch colour, the middle half
    // eight vertical bars, bar b (left first) on when bit b of n is set. RGBA,
    // top row first.
    inline std::vector<unsigned char> picturePixels(long n, int w, int h)
    {
        std::vector<unsigned char> rgba;
        rgba.reserve(static_cast<std::size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const bool patch = y < h / 4 || y >= h - h / 4;
                const PixelRGBA8 c = patch ? patchColour : ((n >> (x * barCount / w)) & 1) ? barOn : barOff;
                rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
            }
        return rgba;
    }

    // The number the bars' green levels (left first) carry; -1 when a bar is
    // neither clearly on nor clearly off. MPEG-1 at these sizes leaves a bar
    // up to 60 levels off where it changed (and a darkening effect takes 25
    // more): the line falls midway.
    inline long numberOfBars(const std::vector<int>& greens)
    {
        long n = 0;
        for (std::size_t bar = 0; bar < greens.size(); ++bar)
        {
            if (greens[bar] > 120)
                n |= 1L << bar;
            else if (greens[bar] > 100)
                return -1;
        }
        return n;
    }

    // What one render showed.
    struct Seen
    {
        bool blank = true;
        long number = -1; // -1: bars unreadable
        PixelRGBA8 patch{};
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
        // seeks when 0.1 s off; backwards by seeks that may stop on the
        // sync frame before the one asked for (gop frames apart).
        bool selfTimed = false;
        long gop = 1;
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
            break;
        case SourceKind::soundMovie:
            f.name = "SoundMovie";
            f.fileName = "sound.mov";
            uniform(50);
            break;
        case SourceKind::silentMpg:
            f.name = "SilentMpg";
            f.fileName = "silent.mpg";
            uniform(103);
            f.selfTimed = true;
            f.gop = 15;
            break;
        case SourceKind::soundTsMpg:
            // A transport stream with B-frames and sound, named as a program
            // stream is.
            f.name = "SoundTsMpg";
            f.fileName = "sound_ts.mpg";
            uniform(50);
            break;
        case SourceKind::theoraMov:
            // An Ogg movie without sound, named as a QuickTime one is.
            f.name = "TheoraMov";
            f.fileName = "theora.mov";
            uniform(50);
            f.selfTimed = true;
            f.gop = 10;
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

    enum class Effect
    {
        redder, // AddSubtract: red up by 51 levels
        darker  // BrightnessContrast: every channel down by 25.5 levels
    };
    constexpr double redderSetting = 0.6, darkerSetting = 0.45;
    inline const char* nameOf(Effect e)
    {
        return e == Effect::redder ? "Redder" : "Darker";
    }
    // The presets the sequences apply, each saved from a chain without a
    // conversion pass.
    inline const std::vector<std::vector<Effect>> presetEffects = {
        {Effect::redder}, {Effect::darker, Effect::redder}, {Effect::darker}};

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

    enum class OpKind
    {
        run, // count host frames
        play, // value: speed, below 0 backwards
        pause,
        seek, // value: fraction of the length
        scrub, // count positions (fractions of the length), a host frame on each
        resize,
        release,
        preset, // count: which
        addEffect, // count: at which index
        removeEffect,
        moveEffect // count: to which index
    };

    struct Operation
    {
        OpKind kind = OpKind::run;
        double value = 0.0;
        int count = 0;
        int width = 0, height = 0;
        Effect effect = Effect::redder;
        std::vector<double> positions;
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
            break;
        case OpKind::preset:
            text << "apply preset " << op.count << " (";
            for (std::size_t i = 0; i < presetEffects[static_cast<std::size_t>(op.count)].size(); ++i)
                text << (i > 0 ? ", " : "") << nameOf(presetEffects[static_cast<std::size_t>(op.count)][i]);
            text << ")";
            break;
        case OpKind::addEffect:
            text << "add " << nameOf(op.effect) << " at " << op.count;
            break;
        case OpKind::removeEffect:
            text << "remove " << nameOf(op.effect);
            break;
        case OpKind::moveEffect:
            text << "move " << nameOf(op.effect) << " to " << op.count;
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

    // A user's session: operations, each followed by some host frames.
    inline std::vector<Operation> operationsForSeed(unsigned seed, const KindFacts& facts)
    {
        std::mt19937 random(seed * 2654435761u + static_cast<unsigned>(facts.frames));
        const auto between = [&random](int low, int high)
        { return std::uniform_int_distribution<int>(low, high)(random); };
        const auto fraction = [&random] { return std::uniform_real_distribution<double>(0.0, 1.0)(random); };
        static const double speeds[] = {0.5, 1.0, 2.0, -1.0};
        static const int sizes[][2] = {{48, 24}, {96, 48}, {80, 40}, {64, 32}, {128, 64}};
        // Weights of play, pause, seek, scrub, resize, release, preset, add,
        // remove, move.
        std::discrete_distribution<int> pick({5, 2, 2, 1, 2, 1, 1, 2, 1, 1});
        std::vector<Operation> ops;
        const int count = between(10, 14);
        for (int i = 0; i < count; ++i)
        {
            Operation op;
            int frames = between(1, 6);
            switch (pick(random))
            {
            case 0:
                op.kind = OpKind::play;
                op.value = speeds[between(0, 3)];
                frames = between(8, 30);
                break;
            case 1:
                op.kind = OpKind::pause;
                break;
            case 2:
                op.kind = OpKind::seek;
                op.value = fraction();
                frames = between(3, 12);
                break;
            case 3:
                op.kind = OpKind::scrub;
                op.count = 3;
                for (int n = 0; n < op.count; ++n)
                    op.positions.push_back(fraction());
                break;
            case 4:
            {
                op.kind = OpKind::resize;
                const int s = between(0, 4);
                op.width = sizes[s][0];
                op.height = sizes[s][1];
                break;
            }
            case 5:
                op.kind = OpKind::release;
                break;
            case 6:
                op.kind = OpKind::preset;
                op.count = between(0, static_cast<int>(presetEffects.size()) - 1);
                break;
            case 7:
                op.kind = OpKind::addEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                op.count = between(0, 3);
                break;
            case 8:
                op.kind = OpKind::removeEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                break;
            default:
                op.kind = OpKind::moveEffect;
                op.effect = between(0, 1) == 0 ? Effect::redder : Effect::darker;
                op.count = between(0, 3);
                break;
            }
            ops.push_back(op);
            Operation run;
            run.count = frames;
            ops.push_back(run);
        }
        return ops;
    }

    // The seeds to run: one when seedText names it, 1 to count when
    // countText gives a count, else the fixed set (a seed of each render
    // rate).
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
        return {1, 2, 3};
    }

    // The play head and what the source is set to, with what it has shown.
    class Model
    {
    public:
        Model(KindFacts kindFacts, int hostRate) : facts(std::move(kindFacts)), rate(hostRate)
        {
            head = facts.frameMs.front() / 2.0;
            for (double ms : facts.frameMs)
                shortestFrameMs = std::min(shortestFrameMs, ms);
        }

        // One host frame of the play head.
        void advance()
        {
            if (direction == Direction::forward || direction == Direction::backward)
                head = wrapped(head + (direction == Direction::forward ? 1.0 : -1.0) * speed * 1000.0 / rate);
        }

        double wrapped(double ms) const
        {
            const double w = std::fmod(ms, facts.lengthMs);
            return w < 0.0 ? w + facts.lengthMs : w;
        }

        // The head adds up host frames and may land a few units in the last
        // place short of a frame's start it is on in exact figures: that
        // close, it is on the start.
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

        // A break in play: a new run of frames begins once the source shows
        // the play head's own frame again.
        void newRun()
        {
            runLast.reset();
            settled = false;
        }

        // Frames a - b counted in the direction of play around the loop,
        // within half the loop either way.
        long stepsAlong(long from, long to) const
        {
            long d = (to - from) % facts.frames;
            if (d < 0)
                d += facts.frames;
            if (d > facts.frames / 2)
                d -= facts.frames;
            return direction == Direction::backward ? -d : d;
        }

        // Frames the reader may show off the play head's: a self-timed
        // player runs up to 0.1 s off before it seeks, a frame more for
        // the phase, and aims its seeks ahead by what the last one took.
        long slack() const
        {
            const double fps = 1000.0 / shortestFrameMs;
            return 1 + static_cast<long>(std::ceil(0.1 * fps)) +
                   static_cast<long>(std::ceil(seekMs / 1000.0 * fps * speed));
        }

        // Why what a render showed is not what it must show; empty when it is.
        std::string wrongIn(const Seen& seen) const;

        // The check a render failing wrongIn fails.
        std::string checkFor(const Seen& seen) const
        {
            if (seen.blank)
                return released ? "comes back after a release" : "shows a picture";
            if (seen.width != width || seen.height != height)
                return "follows setSize";
            if (! coloursRight(seen))
                return "keeps its colours through chain edits";
            return "shows the play head's frame";
        }

        // In forward play, a frame before the last one shown in this run.
        std::optional<std::string> goesBack(long number) const
        {
            if (direction != Direction::forward || facts.still || ! runLast || stepsAlong(*runLast, number) >= 0)
                return std::nullopt;
            return "showed frame " + std::to_string(number) + " after frame " + std::to_string(*runLast);
        }

        // Records a frame accepted at this host frame; in forward play at a
        // rate that shows every frame, a frame passed over.
        std::optional<std::string> shown(long number)
        {
            shownAnything = true;
            lastShown = number;
            if (direction != Direction::forward || facts.still)
            {
                runLast.reset();
                return std::nullopt;
            }
            // After a break a self-timed player may land a frame or two
            // off; the run starts where it has caught up.
            if (! settled && number != frameAt(head))
                return std::nullopt;
            settled = true;
            const std::optional<long> before = runLast;
            runLast = number;
            const bool everyFrame = rate * shortestFrameMs / 1000.0 >= speed;
            if (! before || ! everyFrame || stepsAlong(*before, number) <= 1)
                return std::nullopt;
            return "frame " + std::to_string(number) + " followed frame " + std::to_string(*before) +
                   " at the next host frame";
        }

        std::string where() const
        {
            std::ostringstream text;
            text << "play head " << std::lround(head) << " ms, in frame " << frameAt(head) << ", "
                 << (direction == Direction::forward    ? "forwards"
                     : direction == Direction::backward ? "backwards"
                     : direction == Direction::random   ? "scrubbed"
                                                        : "paused")
                 << " at " << speed << "x";
            return text.str();
        }

        std::string lastShownText() const { return "frame " + std::to_string(lastShown); }

        PixelRGBA8 patchDue() const
        {
            double r = patchColour.r, g = patchColour.g, b = patchColour.b;
            if (effects.count(Effect::redder) != 0)
                r += (2.0 * redderSetting - 1.0) * 255.0;
            if (effects.count(Effect::darker) != 0)
            {
                const double d = (2.0 * darkerSetting - 1.0) * 255.0;
                r += d, g += d, b += d;
            }
            const auto level = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
            return {level(r), level(g), level(b), 255};
        }

        bool coloursRight(const Seen& seen) const
        {
            const PixelRGBA8 due = patchDue();
            const int tolerance = 28;
            return std::abs(seen.patch.r - due.r) <= tolerance && std::abs(seen.patch.g - due.g) <= tolerance &&
                   std::abs(seen.patch.b - due.b) <= tolerance;
        }

        KindFacts facts;
        int rate;
        double head = 0.0;
        double speed = 1.0;
        Direction direction = Direction::paused;
        int width = clipWidth, height = clipHeight;
        bool resizable = true;
        std::set<Effect> effects;
        bool shownAnything = false;
        bool released = false;
        // Rendered since loaded or released: the DataDriver feeds it.
        bool initialised = false;
        // The longest corrective seek of a self-timed player so far (ms).
        double seekMs = 0.0;

    private:
        bool isAllowed(long number) const
        {
            const long due = frameAt(head);
            if (number < 0)
                return false;
            if (! facts.selfTimed || direction == Direction::paused)
                return number == due;
            // Scrubbed, its seeks may stop on any frame before (a sync frame).
            if (direction == Direction::random)
                return number <= due;
            // Forwards, once the player has caught up with the play head,
            // the play head's frame shows (the player keeps within reach).
            if (direction == Direction::forward && settled)
                return number == due;
            // Backwards the player steps back by seeks, which may stop on a
            // sync frame.
            return std::abs(stepsAlong(due, number)) <=
                   slack() + (direction == Direction::backward ? facts.gop : 0);
        }

        std::string allowedText() const
        {
            const long due = frameAt(head);
            if (! facts.selfTimed || direction == Direction::paused || (direction == Direction::forward && settled))
                return "frame " + std::to_string(due);
            if (direction == Direction::random)
                return "frames 0 to " + std::to_string(due);
            return "frame " + std::to_string(due) + " within " +
                   std::to_string(slack() + (direction == Direction::backward ? facts.gop : 0));
        }

        double shortestFrameMs = 1e9;
        long lastShown = -1;
        std::optional<long> runLast;
        bool settled = false;
    };

    inline std::string Model::wrongIn(const Seen& seen) const
    {
        if (seen.blank)
            return "shows nothing";
        std::ostringstream text;
        if (seen.width != width || seen.height != height)
            text << "is " << seen.width << "x" << seen.height << " where " << width << "x" << height << " is due";
        else if (! coloursRight(seen))
        {
            // Colours gone wrong make the bars unreliable too: they come first.
            const PixelRGBA8 due = patchDue();
            text << "colours " << int(seen.patch.r) << "," << int(seen.patch.g) << "," << int(seen.patch.b)
                 << " where " << int(due.r) << "," << int(due.g) << "," << int(due.b) << " is due (effects:";
            for (const Effect e : effects)
                text << " " << nameOf(e);
            text << ")";
        }
        else if (! isAllowed(seen.number))
            text << "shows " << (seen.number < 0 ? std::string("unreadable bars") : "frame " + std::to_string(seen.number))
                 << " where " << allowedText() << " is due";
        return text.str();
    }

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
