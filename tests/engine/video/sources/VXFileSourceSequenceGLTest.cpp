// File sources of every kind walked through seeded random sequences of what
// a user does (play forwards and backwards at speeds, pause, play modes,
// ping-pong in a window within or across key-frame groups, loops played
// backwards across their wrap, seek, scrub, drag across key-frame groups and
// down over the frames just shown, resizes, releases, also during
// seeks, presets, effects added, removed and moved, and cues given while the
// decoder's work is held, so that a jump, a scrub step or a turn comes while
// an earlier seek is under way) under a host rendering at 25, 50 and 60 Hz on
// a hand-moved clock. The source's own timeline moves the play head, its
// DataDriver thread feeds it as in an application. Every picture carries its
// frame number in bars and corners that tell a flip or a mirror; a model of
// the play head says what each render, judged once, must show. A failing
// seed is shrunk to the shortest sequence that still fails and printed with
// the way to run it alone:
//   VX_SEQUENCE_SEED=<seed>      only that seed (every kind, or VX_SEQUENCE_KIND)
//   VX_SEQUENCE_SEEDS=<count>    seeds 1 to count instead of the fixed set
//   VX_SEQUENCE_KIND=<name>      only that kind (e.g. SilentMovie)
//   VX_SEQUENCE_SHRINK_SECONDS   time given to shrinking a failure (60)

#include "VXFileSourceSequenceModel.h"
#include "VXHandClock.h"
#include "VXSourcesGLTestSupport.h"

#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlState.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/renderpasses/catalogue/VXAddSubtract.h"
#include "engine/renderpasses/catalogue/VXBrightnessContrast.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

namespace vx::test
{
    namespace
    {
        using namespace sequence;

        // How long the test waits for the feeding thread's pass or a seek
        // before a render: only a fail-safe for a loaded machine.
        constexpr std::chrono::seconds settleWatchdog{10};

        std::string environment(const char* name)
        {
            const char* value = std::getenv(name);
            return value != nullptr ? value : "";
        }

        Seen look(const TextureRef& output)
        {
            Seen seen;
            if (output.get() == nullptr)
                return seen;
            const Texture& texture = *output.get();
            const Picture picture = readBack(texture);
            seen.blank = false;
            seen.width = texture.getWidth();
            seen.height = texture.getHeight();
            if (seen.width <= 0 || seen.height <= 0 || picture.width < seen.width || picture.height < seen.height)
                return seen;
            for (int bar = 0; bar < barCount; ++bar)
                seen.greens.push_back(picture.at((2 * bar + 1) * seen.width / (2 * barCount), seen.height / 2).g);
            // Read back bottom row first.
            for (std::size_t i = 0; i < corners.size(); ++i)
                seen.corners[i] = picture.at(static_cast<int>(corners[i].x * seen.width),
                                             static_cast<int>((1.0 - corners[i].y) * seen.height));
            return seen;
        }

        std::string describe(const Seen& seen)
        {
            if (seen.blank)
                return "nothing";
            std::ostringstream text;
            text << seen.width << "x" << seen.height << ", bars' greens";
            for (const int g : seen.greens)
                text << " " << g;
            return text.str();
        }

        // The clips every run plays, made once for the program.
        struct Clips
        {
            TempDir dir;
            std::map<SourceKind, std::string> paths;
            std::map<SourceKind, std::string> problems;
        };

        std::unique_ptr<Clips>& clips()
        {
            static std::unique_ptr<Clips> made;
            return made;
        }

        bool run(const std::string& command)
        {
            return std::system(command.c_str()) == 0;
        }

        // N frames of raw RGBA, top row first, into path.
        bool writeRawFrames(const std::string& path, long frames)
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            for (long n = 0; n < frames; ++n)
            {
                const std::vector<unsigned char> rgba = picturePixels(n, clipWidth, clipHeight);
                out.write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
            }
            return bool(out);
        }

        std::string rawInput(const std::string& raw)
        {
            return "-f rawvideo -pix_fmt rgba -s " + std::to_string(clipWidth) + "x" + std::to_string(clipHeight) +
                   " -r 25 -i \"" + raw + "\"";
        }

        std::string makeMovie(Clips& made, const KindFacts& facts, const std::string& raw, const std::string& video,
                              bool sound)
        {
            const std::string path = made.dir.file(facts.fileName);
            std::ostringstream command;
            command << "ffmpeg -v error -y " << rawInput(raw);
            if (sound)
                command << " -f lavfi -i \"sine=frequency=440:duration=" << (facts.frames + 1) / 25.0 << "\"";
            command << " -frames:v " << facts.frames << " " << video << " \"" << path << "\"";
            return run(command.str()) && File(path).exists() ? path : std::string();
        }

        std::string makeQmv(Clips& made, const KindFacts& facts)
        {
            const std::string path = made.dir.file(facts.fileName);
            VideoCodecInfoQMV codecInfo;
            codecInfo.getFormatType()->setValue(qmv::typeDXT1, ValueChangeInfo());
            VideoCodecSettings settings(clipWidth, clipHeight, 25.0, &codecInfo);
            File file(path);
            std::unique_ptr<VideoFormatWriter> writer(Vexkit::getInstance()->getVideoFormatManager()->createWriterFor(
                file, 25.0, 4, clipWidth, clipHeight, settings));
            if (writer == nullptr)
                return {};
            for (long n = 0; n < facts.frames; ++n)
            {
                const std::vector<unsigned char> rgba = picturePixels(n, clipWidth, clipHeight);
                auto pixels = std::make_shared<Pixels>(clipWidth, clipHeight, 4, rgba.data());
                while (writer->isBusy())
                    std::this_thread::yield();
                if (! writer->write(pixels))
                    return {};
            }
            writer.reset();
            return path;
        }

        std::string makeGif(Clips& made, const KindFacts& facts)
        {
            RawGif gif;
            gif.width = clipWidth;
            gif.height = clipHeight;
            const PixelRGBA8 colours[3] = {barOff, barOn, patchColour};
            for (const PixelRGBA8& c : colours)
                gif.globalMap.push_back({c.r, c.g, c.b});
            gif.globalMap.push_back({0, 0, 0});
            for (long n = 0; n < facts.frames; ++n)
            {
                const std::vector<unsigned char> rgba = picturePixels(n, clipWidth, clipHeight);
                RawGifFrame frame;
                frame.width = clipWidth;
                frame.height = clipHeight;
                frame.delay = static_cast<int>(facts.frameMs[static_cast<std::size_t>(n)] / 10.0);
                for (int i = 0; i < clipWidth * clipHeight; ++i)
                {
                    const unsigned char r = rgba[static_cast<std::size_t>(i) * 4];
                    frame.indexes.push_back(r == barOff.r ? 0 : r == barOn.r ? 1 : 2);
                }
                gif.frames.push_back(frame);
            }
            const std::string path = made.dir.file(facts.fileName);
            return writeGif(path, gif) ? path : std::string();
        }

        void makeClips()
        {
            auto made = std::make_unique<Clips>();
            const long rawFrames = 110;
            const std::string raw = made->dir.file("frames.rgba");
            if (! writeRawFrames(raw, rawFrames))
            {
                clips() = std::move(made);
                return;
            }
            for (const SourceKind kind : allKinds)
            {
                const KindFacts facts = factsOf(kind);
                std::string path;
                switch (kind)
                {
                case SourceKind::silentMovie:
                    path = makeMovie(*made, facts, raw, "-c:v libx264 -preset ultrafast -g 10 -bf 2 -pix_fmt yuv420p",
                                     false);
                    break;
                case SourceKind::soundMovie:
                    path = makeMovie(*made, facts, raw, "-c:v mpeg4 -g 12 -bf 2 -q:v 2 -c:a pcm_s16le", true);
                    break;
                case SourceKind::silentMpg:
                    path = makeMovie(*made, facts, raw, "-c:v mpeg1video -g 15 -bf 2 -q:v 2 -f mpeg", false);
                    break;
                case SourceKind::soundTsMpg:
                    path = makeMovie(*made, facts, raw,
                                     "-c:v libx264 -preset ultrafast -g 12 -bf 2 -pix_fmt yuv420p -c:a mp2 -f mpegts",
                                     true);
                    break;
                case SourceKind::theoraMov:
                    path = makeMovie(*made, facts, raw, "-c:v libtheora -q:v 8 -g 10 -f ogg", false);
                    break;
                case SourceKind::qmv:
                    path = makeQmv(*made, facts);
                    break;
                case SourceKind::png:
                case SourceKind::jpeg:
                {
                    // The still picture carries the number stillNumber.
                    const std::string one = made->dir.file("still.rgba");
                    const std::vector<unsigned char> rgba = picturePixels(stillNumber, clipWidth, clipHeight);
                    std::ofstream(one, std::ios::binary)
                        .write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
                    path = made->dir.file(facts.fileName);
                    if (! run("ffmpeg -v error -y " + rawInput(one) + " -frames:v 1 " +
                              (kind == SourceKind::jpeg ? "-q:v 2 " : "") + "\"" + path + "\""))
                        path.clear();
                    break;
                }
                case SourceKind::sequence:
                {
                    made->dir.makeDirectory("sequence");
                    const std::string pattern = made->dir.file("sequence/frame_%04d.png");
                    path = made->dir.file(facts.fileName);
                    if (! run("ffmpeg -v error -y " + rawInput(raw) + " -frames:v " + std::to_string(facts.frames) +
                              " -start_number 0 \"" + pattern + "\"") ||
                        ! File(path).exists())
                        path.clear();
                    break;
                }
                case SourceKind::gif:
                    path = makeGif(*made, facts);
                    break;
                }
                if (path.empty())
                    made->problems[kind] = "could not make " + facts.fileName;
                else
                    made->paths[kind] = path;
            }
            clips() = std::move(made);
        }

        // One failure: the check that failed, what it saw, where.
        struct Failure
        {
            std::string check;
            std::string message;
            std::size_t operation = 0; // the index of the operation being done
        };

        class FileSourceSequenceGLTest : public SourcesGLTest, public ::testing::WithParamInterface<SourceKind>
        {
        protected:
            static void TearDownTestSuite() { clips().reset(); }

            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                feeder.addSource(&probe);
                quiet.requestThreadStop();
                while (quiet.isThreadRunning())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                // The effects presets name are made by the catalogue.
                RenderPassManager& passes = *root->getRenderPassManager();
                if (passes.getRenderPassInfo(AddSubtract::classType(), RenderPassCategoryAny) == nullptr)
                    passes.registerRenderPass<AddSubtract>(RenderPassCategoryEffect, 1, true, false);
                if (passes.getRenderPassInfo(BrightnessContrast::classType(), RenderPassCategoryAny) == nullptr)
                    passes.registerRenderPass<BrightnessContrast>(RenderPassCategoryEffect, 1, true, false);
                if (clips() == nullptr)
                    makeClips();
            }

            // A source on the clip, loaded on the message queue, fed by the
            // running DataDriver or by the test through the stopped one.
            std::unique_ptr<VideoFormatReaderSource> open(SourceKind kind, bool fedByHand = false)
            {
                const std::string& path = clips()->paths.at(kind);
                std::string attributes = "fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\"";
                if (kind == SourceKind::sequence)
                    attributes += " isSequence=\"1\"";
                auto source = std::unique_ptr<VideoFormatReaderSource>(
                    VideoFormatReaderSource::createFromXML(fedByHand ? quiet : feeder, *sourceElement(attributes), nullptr));
                drainMessages();
                return source;
            }

            // A preset of the file source holding the effects given, in that
            // order, as one saved from a source without a conversion pass.
            std::unique_ptr<XmlState> makePreset(const std::vector<Effect>& effects)
            {
                std::shared_ptr<RenderPassChain> scratch(new RenderPassChain(), &GfxObject::deleteUsingManager);
                // Stored so that reading it makes the effects a chain lacks.
                for (const Effect effect : effects)
                {
                    const std::shared_ptr<RenderPass> pass = makeEffect(effect);
                    pass->setStorage(XmlCapable::storageCreatable);
                    scratch->addRenderPass(pass);
                }
                XmlNode* element = XmlCapable::createNode(presetPool, "VideoSource");
                element->append_attribute(createAttribute(presetPool, "name", std::string("VideoSource")));
                element->append_attribute(createAttribute(presetPool, "width", clipWidth));
                element->append_attribute(createAttribute(presetPool, "height", clipHeight));
                element->append_attribute(
                    createAttribute(presetPool, "type", std::string("VideoFormatReaderSource")));
                if (XmlNode* chainElement = scratch->writeState(presetPool, true))
                    element->append_node(chainElement);
                return std::make_unique<XmlState>(element, "preset");
            }

            static std::shared_ptr<RenderPass> makeEffect(Effect effect)
            {
                std::shared_ptr<RenderPass> pass;
                if (effect == Effect::redder)
                {
                    pass.reset(new AddSubtract(), &GfxObject::deleteUsingManager);
                    std::dynamic_pointer_cast<ParamRange>(pass->getParams().getParamByName("R"))
                        ->setValue(redderSetting, ValueChangeInfo());
                }
                else
                {
                    pass.reset(new BrightnessContrast(), &GfxObject::deleteUsingManager);
                    std::dynamic_pointer_cast<ParamRange>(pass->getParams().getParamByName("Brightness"))
                        ->setValue(darkerSetting, ValueChangeInfo());
                }
                return pass;
            }

            static std::string typeOf(Effect effect)
            {
                return effect == Effect::redder ? AddSubtract::classType() : BrightnessContrast::classType();
            }

            std::shared_ptr<RenderPass> findEffect(VideoSource& source, Effect effect)
            {
                std::vector<RenderPassChain::PassPtr> found;
                source.getRenderPassChain()->getRenderPassesWithType(found, typeOf(effect));
                return found.empty() ? nullptr : found.front();
            }

            // Plays ops on a fresh source of kind at rate Hz; the first
            // failure, if any.
            std::optional<Failure> play(SourceKind kind, int rate, const std::vector<Operation>& ops)
            {
                const KindFacts facts = factsOf(kind);
                AVFPlayer::lastSeekTime = 0.0;
                HandClock clock;
                auto source = open(kind);
                if (source == nullptr || source->getVideoFormatReader() == nullptr)
                    return Failure{"opens", "no reader for " + facts.fileName, 0};
                if (source->getNumFrames() != facts.frames)
                    return Failure{"counts its frames",
                                   "the source counts " + std::to_string(source->getNumFrames()) + " frames of " +
                                       std::to_string(facts.frames),
                                   0};
                auto timeline = std::dynamic_pointer_cast<BehaviourTimeline>(source->getTimeline());
                if (timeline == nullptr)
                    return Failure{"has a timeline", "the play head is no timeline", 0};
                Model model(facts, rate);
                model.resizable = source->isResizable();
                model.buffering = source->getVideoFormatReader()->isBuffering();
                if (! model.resizable)
                    model.width = source->getWidth(), model.height = source->getHeight();
                std::vector<std::unique_ptr<XmlState>> presets;
                for (const auto& effects : presetEffects)
                    presets.push_back(makePreset(effects));

                const auto direct = [&](Direction direction)
                {
                    if (direction != model.direction)
                        model.turned();
                    model.direction = direction;
                    timeline->getPlayDirectionParam()->setValue(int(toPlayDirection(direction)), ValueChangeInfo());
                };
                direct(Direction::paused);
                // Made after the source, gone before it: every way out opens
                // the gate before the source joins its decoder.
                std::optional<FrameGate::Use> gateUse;
                if (std::any_of(ops.begin(), ops.end(),
                                [](const Operation& op) { return op.kind == OpKind::cue && op.count != 3; }))
                    gateUse.emplace();
                source->start(false, TimeUnit());
                TimeInfo time(0.0);
                std::optional<Failure> failure;
                // One host frame: the clock moves, the engine's timeline moves
                // the play head, the feeding thread reads it, one render.
                const auto tick = [&](std::size_t index) -> bool
                {
                    clock.seconds = clock.seconds.load() + 1.0 / rate;
                    time.increment(1000.0 / rate);
                    const Direction before = model.direction;
                    const int loopsBefore = timeline->getLoopCount();
                    source->update(time);
                    model.advance();
                    // A bounce turns the reader through the timeline.
                    if (model.direction != before)
                        model.jumped();
                    if (! model.headAgrees(source->getPosition()))
                    {
                        failure = Failure{"moves the play head as its mode says",
                                          "the play head is at " + std::to_string(source->getPosition()) +
                                              " ms (" + model.where() + ")",
                                          index};
                        return false;
                    }
                    if (const int loops = timeline->getLoopCount() - loopsBefore;
                        ! model.loopsAgree(loops, source->getPosition()))
                    {
                        failure = Failure{"counts the loops the play head makes",
                                          "the timeline counted " + std::to_string(loops) + " where " +
                                              std::to_string(model.loopsThisFrame) + " are due (" + model.where() +
                                              ")",
                                          index};
                        return false;
                    }
                    model.head = source->getPosition();
                    failure = renderTick(*source, model, index);
                    return ! failure.has_value();
                };
                // The play head sent to ms, a jump the model judges from its
                // frame.
                const auto jumpTo = [&](double ms)
                {
                    model.head = ms;
                    model.jumped();
                    model.jumpedTo();
                    source->getPositionParam()->setValue(model.head, ValueChangeInfo());
                };
                // The user's hand takes (or lets go of) the play head: the
                // source plays as scrubbed, the timeline follows the hand.
                const auto hold = [&](bool held)
                {
                    model.holding = held;
                    model.handRests(false);
                    model.jumped();
                    source->getPositionParam()->setUserState(held ? ParamBase::UserState_Editing
                                                                  : ParamBase::UserState_None);
                };
                // Loaded: the first render initialises the source.
                model.releasedNow();
                if (! tick(0))
                    return failure;
                for (std::size_t i = 0; i < ops.size(); ++i)
                {
                    const Operation& op = ops[i];
                    if (op.kind != OpKind::run)
                        model.interrupted();
                    switch (op.kind)
                    {
                    case OpKind::run:
                        for (int n = 0; n < op.count; ++n)
                            if (! tick(i))
                                return failure;
                        break;
                    case OpKind::play:
                        model.speed = std::abs(op.value);
                        timeline->getSpeedParam()->setValue(model.speed, ValueChangeInfo());
                        direct(op.value < 0.0 ? Direction::backward : Direction::forward);
                        break;
                    case OpKind::pause:
                        direct(Direction::paused);
                        break;
                    case OpKind::mode:
                        model.mode = op.count;
                        timeline->getPlayModeParam()->setValue(op.count, ValueChangeInfo());
                        break;
                    case OpKind::seek:
                        jumpTo(op.value * facts.lengthMs);
                        break;
                    case OpKind::scrub:
                    {
                        hold(true);
                        for (const double position : op.positions)
                        {
                            jumpTo(position * facts.lengthMs);
                            if (! tick(i))
                                return failure;
                        }
                        hold(false);
                        break;
                    }
                    case OpKind::resize:
                        source->setSize(op.width, op.height);
                        if (model.resizable)
                            model.width = op.width, model.height = op.height;
                        break;
                    case OpKind::release:
                        if (op.count == 1)
                        {
                            // A seek asked by the feeding thread's next pass
                            // meets the release.
                            model.head = op.value * facts.lengthMs;
                            source->getPositionParam()->setValue(model.head, ValueChangeInfo());
                            if (! waitForPass())
                                return Failure{"feeds the source", "the DataDriver made no pass in time", i};
                        }
                        source->release();
                        model.releasedNow();
                        break;
                    case OpKind::preset:
                        source->linkPreset(presets[static_cast<std::size_t>(op.count)].get(), true);
                        model.effects = effectsAfterPreset(model.effects, op.count);
                        if (model.resizable)
                            model.width = clipWidth, model.height = clipHeight;
                        break;
                    case OpKind::addEffect:
                        if (findEffect(*source, op.effect) == nullptr)
                        {
                            const auto& chain = source->getRenderPassChain();
                            int at = chain->getNumPasses();
                            const auto other = model.effects.empty() ? nullptr : findEffect(*source, model.effects.front());
                            if (op.count == 0 && other != nullptr)
                                at = chain->findIndexOfPass(*other);
                            chain->insertRenderPass(at, makeEffect(op.effect), false);
                            model.effects.insert(op.count == 0 ? model.effects.begin() : model.effects.end(),
                                                 op.effect);
                        }
                        break;
                    case OpKind::removeEffect:
                        if (auto pass = findEffect(*source, op.effect))
                        {
                            source->getRenderPassChain()->removeRenderPass(pass);
                            std::erase(model.effects, op.effect);
                        }
                        break;
                    case OpKind::moveEffect:
                        if (auto pass = findEffect(*source, op.effect))
                        {
                            const auto& chain = source->getRenderPassChain();
                            const int from = chain->findIndexOfPass(*pass);
                            int to = chain->getNumPasses() - 1;
                            if (op.count == 0)
                                to = chain->findIndexOfPass(*findEffect(*source, model.effects.front()));
                            chain->moveRenderPass(from, to);
                            std::erase(model.effects, op.effect);
                            model.effects.insert(op.count == 0 ? model.effects.begin() : model.effects.end(),
                                                 op.effect);
                        }
                        break;
                    case OpKind::cue:
                        if (! cue(*source, *timeline, model, op, i, direct, tick))
                            return failure;
                        break;
                    case OpKind::backwardStart:
                        source->release();
                        model.speed = op.positions[0];
                        timeline->getSpeedParam()->setValue(model.speed, ValueChangeInfo());
                        model.head = op.value * facts.lengthMs;
                        source->getPositionParam()->setValue(model.head, ValueChangeInfo());
                        direct(Direction::backward);
                        model.releasedNow();
                        if (op.count == 1)
                        {
                            if (! tick(i))
                                return failure;
                            source->release();
                            model.releasedNow();
                        }
                        break;
                    case OpKind::drag:
                    {
                        // From the play head, to a frame's middle at most.
                        const double from = op.fromHead ? model.head : op.positions[0] * facts.lengthMs;
                        const double to =
                            op.fromHead ? std::clamp(from + op.positions[0] * facts.lengthMs, middleOf(facts, 0),
                                                     middleOf(facts, facts.frames - 1))
                                        : op.positions[1] * facts.lengthMs;
                        hold(true);
                        for (int step = 1; step <= op.count + restingRenders; ++step)
                        {
                            const double along = std::min(1.0, double(step) / op.count);
                            const double ms =
                                op.fromHead ? from + (to - from) * along
                                            : (op.positions[0] + (op.positions[1] - op.positions[0]) * along) *
                                                  facts.lengthMs;
                            model.handRests(step > op.count);
                            if (step <= op.count)
                                jumpTo(ms);
                            if (! tick(i))
                                return failure;
                        }
                        hold(false);
                        break;
                    }
                    case OpKind::pingPong:
                    {
                        const auto& position = source->getPositionParam();
                        const ValueRange<double> whole = position->getMinMaxRange();
                        const auto window = [&](double start, double stop)
                        {
                            position->setStartStopRange(ValueRange<double>(start, stop, "range"), ValueChangeInfo());
                            model.setWindow(start, stop);
                        };
                        window(op.positions[0] * facts.lengthMs, op.positions[1] * facts.lengthMs);
                        jumpTo(op.positions[2] * facts.lengthMs);
                        model.speed = std::abs(op.value);
                        timeline->getSpeedParam()->setValue(model.speed, ValueChangeInfo());
                        direct(op.value < 0.0 ? Direction::backward : Direction::forward);
                        for (int n = 0; n < op.count; ++n)
                            if (! tick(i))
                                return failure;
                        window(whole.min, whole.max);
                        break;
                    }
                    }
                }
                FrameGate::get().setOpen(true);
                source->release();
                return failure;
            }

            // A cue given while the decoder's work is held (see OpKind::cue),
            // then the decoder let go, or a cue corrected; false when a render
            // failed.
            template <typename Direct, typename Tick>
            bool cue(VideoFormatReaderSource& source, BehaviourTimeline& timeline, Model& model, const Operation& op, std::size_t index,
                     const Direct& direct, const Tick& tick)
            {
                FrameGate& gate = FrameGate::get();
                const auto& position = source.getPositionParam();
                const auto jumpTo = [&](double fraction)
                {
                    model.head = fraction * model.facts.lengthMs;
                    model.jumped();
                    model.jumpedTo();
                    position->setValue(model.head, ValueChangeInfo());
                };
                if (op.count == 3)
                {
                    jumpTo(op.positions[0]);
                    for (int n = 0; n < 2; ++n)
                        if (! tick(index))
                            return false;
                    jumpTo(op.positions[1]);
                    return tick(index);
                }
                const bool scrubs = op.count == 1;
                if (scrubs)
                {
                    model.holding = true;
                    position->setUserState(ParamBase::UserState_Editing);
                }
                gate.setOpen(false);
                model.holdDecoder();
                jumpTo(op.positions[0]);
                if (! tick(index))
                    return false;
                if (scrubs)
                {
                    for (std::size_t n = 1; n < op.positions.size(); ++n)
                    {
                        jumpTo(op.positions[n]);
                        if (! tick(index))
                            return false;
                    }
                }
                else
                {
                    if (op.count == 2)
                    {
                        model.speed = std::abs(op.value);
                        timeline.getSpeedParam()->setValue(model.speed, ValueChangeInfo());
                        direct(op.value < 0.0 ? Direction::backward : Direction::forward);
                    }
                    if (op.positions.size() > 1)
                        jumpTo(op.positions[1]);
                    if (! tick(index))
                        return false;
                }
                // One frame of the decoder out (the earlier seek's landing,
                // say) while the rest waits: a render comes meanwhile.
                if (op.landsOne && gate.waiters() > 0)
                {
                    gate.admit(1);
                    gate.awaitAdmitted(settleWatchdog);
                    if (VideoFormatReader* reader = source.getVideoFormatReader())
                        settleHeld(*reader);
                    if (! tick(index))
                        return false;
                }
                gate.setOpen(true);
                model.letGoDecoder();
                if (scrubs)
                {
                    // The hand stays a render, then lets go.
                    if (! tick(index))
                        return false;
                    model.holding = false;
                    model.jumped();
                    position->setUserState(ParamBase::UserState_None);
                }
                return true;
            }

            // The user's effects after preset p is applied, as the chain reads
            // a saved chain: each effect of the preset in turn goes to its
            // place in the preset, counted after the source's own passes
            // (made when the chain lacks it); others stay.
            static std::vector<Effect> effectsAfterPreset(std::vector<Effect> effects, int p)
            {
                const std::vector<Effect>& preset = presetEffects[static_cast<std::size_t>(p)];
                for (std::size_t index = 0; index < preset.size(); ++index)
                {
                    std::erase(effects, preset[index]);
                    effects.insert(effects.begin() + static_cast<long>(std::min(index, effects.size())),
                                   preset[index]);
                }
                return effects;
            }

            // Waits until the DataDriver has made a whole pass that began
            // after this call. Adding a source it holds changes nothing but
            // waits for the pass under way to end; the probe's count rising
            // then marks the next pass begun, and adding again waits for it
            // to end.
            bool waitForPass()
            {
                feeder.addSource(&probe);
                const unsigned long from = probe.passes.load();
                const auto giveUp = std::chrono::steady_clock::now() + settleWatchdog;
                while (probe.passes.load() == from)
                {
                    if (std::chrono::steady_clock::now() > giveUp)
                        return false;
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
                feeder.addSource(&probe);
                return true;
            }

            // The host's frame, after the play head moved: the DataDriver
            // reads at the play head, seeks the reader reports land and are
            // read in; then one render, judged once.
            std::optional<Failure> renderTick(VideoFormatReaderSource& source, Model& model, std::size_t index)
            {
                VideoFormatReader* reader = source.getVideoFormatReader();
                // The DataDriver feeds a source from its first render (its
                // initialisation) until its release, and never one whose
                // reader buffers (its render reads).
                if (reader != nullptr && ! reader->isBuffering() && source.isInitialized() && model.decoderHeld)
                {
                    // The decoder held, its seeks cannot land: the render
                    // comes once it waits in the gate or has nothing to do.
                    if (! waitForPass())
                        return Failure{"feeds the source", "the DataDriver made no pass in time", index};
                    settleHeld(*reader);
                }
                else if (reader != nullptr && ! reader->isBuffering() && source.isInitialized())
                {
                    if (! waitForPass())
                        return Failure{"feeds the source", "the DataDriver made no pass in time", index};
                    // A movie reader lands frames on the backend's thread and
                    // tells the source at its next read. The pass that takes
                    // the frame of a seek asked earlier (the one init asked,
                    // say) may send a seeking reader on to the play head with
                    // a seek of its own: passes go on until none leaves a
                    // seek under way. A self-timed movie in forward play
                    // decodes on by itself: the render comes once the play
                    // head's frame is decoded, however busy the machine.
                    const auto giveUp = std::chrono::steady_clock::now() + settleWatchdog;
                    const auto waitWhile = [&giveUp](auto busy)
                    {
                        while (busy() && std::chrono::steady_clock::now() < giveUp)
                            std::this_thread::sleep_for(std::chrono::microseconds(500));
                    };
                    for (int passes = 0; model.facts.selfTimed || model.facts.seeks; ++passes)
                    {
                        if (model.facts.seeks && passes > 0 && ! reader->isAwaitingFrame())
                            break;
                        waitWhile([reader] { return reader->isAwaitingFrame() || reader->isCatchingUp(); });
                        if (! waitForPass())
                            return Failure{"feeds the source", "the DataDriver made no pass in time", index};
                        if (model.facts.selfTimed || std::chrono::steady_clock::now() > giveUp)
                            break;
                    }
                    waitWhile([reader] { return reader->isCatchingUp(); });
                }
                const Seen seen = look(source.render(*renderer, info));
                if (const std::optional<Model::Verdict> verdict = model.judge(seen))
                    return Failure{verdict->check, verdict->message + "; showed " + describe(seen), index};
                return std::nullopt;
            }


            // Until the held decoder waits in the gate, or the reader awaits
            // no frame and does not catch up.
            static void settleHeld(VideoFormatReader& reader)
            {
                FrameGate& gate = FrameGate::get();
                const auto giveUp = std::chrono::steady_clock::now() + settleWatchdog;
                while (gate.waiters() == 0 && (reader.isAwaitingFrame() || reader.isCatchingUp()) &&
                       std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
            }

            // Plays seed on kind, shrinks a failure; answers the report or
            // empty.
            std::string check(SourceKind kind, unsigned seed)
            {
                const int rate = rateForSeed(seed);
                const std::vector<Operation> ops = operationsForSeed(seed, factsOf(kind));
                std::optional<Failure> failure = play(kind, rate, ops);
                if (! failure)
                    return {};
                const std::string shrinkText = environment("VX_SEQUENCE_SHRINK_SECONDS");
                const double budget = shrinkText.empty() ? 60.0 : std::atof(shrinkText.c_str());
                const std::vector<Operation> shortest = shrink(
                    ops, *failure, budget,
                    [&](const std::vector<Operation>& candidate) { return play(kind, rate, candidate); });
                const std::optional<Failure> last = play(kind, rate, shortest);
                const double lengthMs = factsOf(kind).lengthMs;
                std::ostringstream report;
                report << factsOf(kind).name << ", seed " << seed << " (" << rate << " Hz): fails \""
                       << failure->check << "\": " << failure->message << "\n  sequence: "
                       << describeAll(ops, failure->operation, lengthMs);
                if (shortest.size() < ops.size())
                {
                    report << "\n  shortest sequence failing so (" << shortest.size() << " of " << ops.size()
                           << " operations): ";
                    if (last)
                        report << describeAll(shortest, last->operation, lengthMs) << "\n    fails \"" << last->check
                               << "\": " << last->message;
                    else
                        report << describeAll(shortest, shortest.size(), lengthMs)
                               << "\n    (passed when played once more: the failure hangs on timing)";
                }
                report << "\n  run alone: VX_SEQUENCE_SEED=" << seed << " VX_SEQUENCE_KIND=" << factsOf(kind).name
                       << " --gtest_filter='Kinds/FileSourceSequenceGLTest.*/" << factsOf(kind).name << "'";
                return report.str();
            }

            // The feeding thread, running as in an application, and a source
            // beside the file source that counts its passes.
            class PassCounter final : public PlainSource
            {
            public:
                void updateVideo() override { ++passes; }
                std::atomic<unsigned long> passes{0};
            };
            PassCounter probe;
            VideoSourceDataDriver feeder;
            // Stopped: the tests that feed their source by hand.
            VideoSourceDataDriver quiet;
            XmlPool presetPool;
        };
    }

    // Every seed of the run (the fixed set, or as the environment asks): the
    // source shows the play head's frame within its reader's tolerance,
    // every frame in play when the host renders at least as fast as the
    // frames come, never goes back in play, never stands behind where the
    // play head or the hand went for longer than its reader's bound, never
    // shows the frame of a request the play head has left behind while a
    // later one is under way,
    // never goes blank once shown, keeps its colours through chain edits
    // and follows its size.
    TEST_P(FileSourceSequenceGLTest, ShowsWhatThePlayHeadIsOnThroughAnySequence)
    {
        const SourceKind kind = GetParam();
        const std::string onlyKind = environment("VX_SEQUENCE_KIND");
        if (! onlyKind.empty() && onlyKind != factsOf(kind).name)
            GTEST_SKIP() << "VX_SEQUENCE_KIND=" << onlyKind;
        const auto problem = clips()->problems.find(kind);
        ASSERT_TRUE(problem == clips()->problems.end()) << problem->second;
        for (const unsigned seed : seedsToRun(environment("VX_SEQUENCE_SEED"), environment("VX_SEQUENCE_SEEDS")))
        {
            const std::string report = check(kind, seed);
            EXPECT_TRUE(report.empty()) << report;
        }
    }

    INSTANTIATE_TEST_SUITE_P(Kinds, FileSourceSequenceGLTest, ::testing::ValuesIn(allKinds),
                             [](const auto& info) { return factsOf(info.param).name; });
}

namespace vx::test
{
    // A silent movie of predicted frames (H.264 with B-frames), played
    // backwards by key-frame groups under a host at 25 Hz, shows each frame
    // the play head steps back to, as a paused movie scrubbed does.
    TEST_F(FileSourceSequenceGLTest, ASilentMovieOfPredictedFramesPlaysBackwardsFrameByFrame)
    {
        ASSERT_EQ(clips()->problems.count(SourceKind::silentMovie), 0u);
        HandClock clock;
        auto source = open(SourceKind::silentMovie, true);
        ASSERT_NE(source, nullptr);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playBackward), ValueChangeInfo());
        std::vector<long> seen;
        for (long k = 40; k >= 25; --k)
        {
            clock.seconds = clock.seconds.load() + 0.04;
            source->getPositionParam()->setValue((k + 0.5) * 40.0, ValueChangeInfo());
            source->updateVideo();
            long shown = -1;
            const auto giveUp = std::chrono::steady_clock::now() + settleWatchdog;
            while (shown != k && std::chrono::steady_clock::now() < giveUp)
            {
                shown = numberIn(look(source->render(*renderer, info)), {});
                source->updateVideo();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            seen.push_back(shown);
            ASSERT_EQ(shown, k) << ::testing::PrintToString(seen);
        }
        source->release();
    }
}

namespace vx::test
{
    // A play head set through its normalised value (as the timeline and hosts
    // set it) comes back a hair short of some frames' starts, 440 ms of a
    // 1200 ms QMV among them: the movie still shows the frame that starts
    // there, not the one before.
    TEST_F(FileSourceSequenceGLTest, AQMVMovieShowsTheFrameStartingAtAPlayHeadSetNormalised)
    {
        ASSERT_EQ(clips()->problems.count(SourceKind::qmv), 0u);
        auto source = open(SourceKind::qmv, true);
        ASSERT_NE(source, nullptr);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playPause), ValueChangeInfo());
        const double lengthMs = factsOf(SourceKind::qmv).lengthMs;
        std::vector<long> seen;
        for (long k = 0; k < factsOf(SourceKind::qmv).frames; ++k)
        {
            source->getPositionParam()->setValueNormalized(k * 40.0 / lengthMs, ValueChangeInfo());
            long shown = -1;
            const auto giveUp = std::chrono::steady_clock::now() + settleWatchdog;
            while (shown != k && std::chrono::steady_clock::now() < giveUp)
            {
                shown = numberIn(look(source->render(*renderer, info)), {});
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            seen.push_back(shown);
            ASSERT_EQ(shown, k) << "play head " << std::setprecision(17) << source->getPosition() << " ms; shown "
                                << ::testing::PrintToString(seen);
        }
        source->release();
    }
}

namespace vx::test
{
    // A scrub parks an image sequence's block bufferer: its reader stops
    // buffering, and the source, which the feeding thread never took on,
    // must still read it. Paused and held by the user's hand, each position
    // shows by the render after the one that moved there, and still does
    // once the hand lets go.
    TEST_F(FileSourceSequenceGLTest, AnImageSequenceScrubbedShowsEachFrameItIsScrubbedTo)
    {
        ASSERT_EQ(clips()->problems.count(SourceKind::sequence), 0u);
        auto source = open(SourceKind::sequence);
        ASSERT_NE(source, nullptr);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playPause), ValueChangeInfo());
        ASSERT_EQ(numberIn(look(source->render(*renderer, info)), {}), 0);
        source->getPositionParam()->setUserState(ParamBase::UserState_Editing);
        std::vector<long> seen;
        for (const long k : {16L, 15L, 10L})
        {
            source->getPositionParam()->setValue((k + 0.5) * 40.0, ValueChangeInfo());
            source->render(*renderer, info);
            seen.push_back(numberIn(look(source->render(*renderer, info)), {}));
            EXPECT_EQ(seen.back(), k) << ::testing::PrintToString(seen);
        }
        source->getPositionParam()->setUserState(ParamBase::UserState_None);
        source->render(*renderer, info);
        EXPECT_EQ(numberIn(look(source->render(*renderer, info)), {}), 10);
        source->release();
    }
}

namespace vx::test
{
    // A silent movie played backwards (by a seek to each frame) and scrubbed
    // up with the decoder held: once let go, the picture goes on from the
    // play head's frame, not from a frame just below it left shown by the
    // scrub (the sync frame a scrub step landed on, or the frame shown when
    // the scrub began), which would hold back the frames above it.
    TEST_F(FileSourceSequenceGLTest, ASilentMovieScrubbedWhilePlayedBackwardsGoesOnFromThePlayHeadOnceLetGo)
    {
        ASSERT_EQ(clips()->problems.count(SourceKind::silentMovie), 0u);
        const KindFacts facts = factsOf(SourceKind::silentMovie);
        const auto op = [](OpKind kind, double value = 0.0, int count = 0)
        {
            Operation made;
            made.kind = kind, made.value = value, made.count = count;
            return made;
        };
        const auto heldScrub = [](std::vector<double> positions, bool landsOne)
        {
            Operation made;
            made.kind = OpKind::cue, made.count = 1, made.positions = std::move(positions), made.landsOne = landsOne;
            return made;
        };
        struct Case
        {
            int rate;
            std::vector<Operation> ops;
        };
        const Case cases[] = {
            // The last step lands on sync frame 20, two frames below the play head.
            {60,
             {op(OpKind::play, -0.5), op(OpKind::seek, 0.75), op(OpKind::run, 0, 3),
              heldScrub({0.61, 0.59, 0.45}, false), op(OpKind::run, 0, 4)}},
            // Held at frame 0 (played once and hold), scrubbed to 100 ms (frame 2).
            {60,
             {op(OpKind::mode, 0, static_cast<int>(playOnceAndHold)), op(OpKind::play, -1.0),
              op(OpKind::seek, 0.05), op(OpKind::run, 0, 8), heldScrub({0.21, 0.19, 0.05}, true),
              op(OpKind::run, 0, 7)}},
        };
        for (const Case& played : cases)
        {
            const std::optional<Failure> failure = play(SourceKind::silentMovie, played.rate, played.ops);
            EXPECT_FALSE(failure) << "fails \"" << failure->check << "\": " << failure->message << "\n  "
                                  << describeAll(played.ops, failure->operation, facts.lengthMs);
        }
    }
}

namespace vx::test
{
    // A self-timed movie looping forwards is cued to its last frame (the
    // play head wraps to frame 0 at the next host frame, a seek to 0 goes
    // under way) and, that seek held, cued on to 540 ms at 0.5x, past the
    // frame shown: frame 0, left behind, never shows; the picture goes on
    // from the frame shown to the second cue's.
    TEST_F(FileSourceSequenceGLTest, ASelfTimedMovieCuedOnPastTheFrameShownNeverShowsTheWrapLeftBehind)
    {
        ASSERT_EQ(clips()->problems.count(SourceKind::theoraMov), 0u);
        const KindFacts facts = factsOf(SourceKind::theoraMov);
        const auto op = [](OpKind kind, double value = 0.0, int count = 0)
        {
            Operation made;
            made.kind = kind, made.value = value, made.count = count;
            return made;
        };
        Operation addDarker = op(OpKind::addEffect);
        addDarker.effect = Effect::darker;
        Operation cue = op(OpKind::cue, 0.5, 2);
        cue.positions = {1980.0 / facts.lengthMs, 540.0 / facts.lengthMs};
        cue.landsOne = true;
        const std::vector<Operation> ops = {addDarker, op(OpKind::run, 0, 4), op(OpKind::play, 2.0),
                                            op(OpKind::run, 0, 17), op(OpKind::play, 1.0), op(OpKind::run, 0, 20),
                                            addDarker, op(OpKind::run, 0, 3), cue, op(OpKind::run, 0, 8)};
        const std::optional<Failure> failure = play(SourceKind::theoraMov, 25, ops);
        EXPECT_FALSE(failure) << "fails \"" << failure->check << "\": " << failure->message << "\n  "
                              << describeAll(ops, failure->operation, facts.lengthMs);
    }
}
