#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <map>
#include <memory>

namespace vx
{
    class ParamBase;
    class ParamContainer;
    namespace qc
    {
        class QCRenderer;
    }

    // A loaded composition: one parameter per published input port (in
    // "Params"), whose changes go to the port. Construction, rendering and
    // port updates need the composition's GL context current.
    class QuartzComposerRendererInternal : public ParamListener
    {
    public:
        QuartzComposerRendererInternal();
        ~QuartzComposerRendererInternal() override;
        QuartzComposerRendererInternal(const QuartzComposerRendererInternal&) = delete;
        QuartzComposerRendererInternal& operator=(const QuartzComposerRendererInternal&) = delete;

        // Loaded means a renderer was made: false without a current context
        // or for a file that is no composition the renderer plays.
        bool loadComposition(const File& file);
        // False when the composition failed (logged) or none is loaded.
        bool render(double seconds);
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        std::shared_ptr<ParamContainer> getParams() const { return params; }
        qc::QCRenderer* getRenderer() const { return renderer.get(); }

    private:
        void getProperties();

        std::shared_ptr<ParamContainer> params;
        std::map<ParamBase*, int> portIndex;
        std::unique_ptr<qc::QCRenderer> renderer;
    };

    class QuartzComposerWrapper
    {
    public:
        QuartzComposerWrapper();
        ~QuartzComposerWrapper();

        bool loadComposition(const File& file);
        bool isLoaded() const { return loaded; }
        std::shared_ptr<ParamContainer> getParams() const;
        bool render(double seconds);
        QuartzComposerRendererInternal& getInternal() { return *internal; }

    private:
        bool loaded = false;
        std::unique_ptr<QuartzComposerRendererInternal> internal;
    };

    // A composition as a reader: it draws itself (needsShader) into the
    // caller's bound target at the engine clock's time ("Runs Autonomously")
    // or the position read.
    class QuartzComposerFormatReader : public VideoFormatReader
    {
    public:
        explicit QuartzComposerFormatReader(const File& file);
        ~QuartzComposerFormatReader() override;

        using VideoFormatReader::init;
        bool init(int width, int height) override;
        bool readFrame(double positionMs) override;
        bool renderInternal(Renderer& renderer) override;
        void release() override;

        QuartzComposerWrapper& getWrapper() { return wrapper; }

    private:
        QuartzComposerWrapper wrapper;
        double startTime = -1.0;
        double readPosition = 0.0;
    };
}
