#pragma once

#include "core/VXColor.h"
#include "core/VXRect.h"
#include "core/VXRttiObject.h"
#include "core/VXSelfIniter.h"
#include "core/parameters/VXExtensionInstance.h"
#include "core/parameters/VXUpdatable.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/renderpasses/VXRenderPassInfo.h"
#include "engine/renderpasses/VXRenderPassTexture.h"

#include <memory>
#include <string>

namespace vx
{
    class GuiView;
    class ParamContainer;
    class RenderPassView;
    class RenderTarget;
    class Renderer;
    class Texture;
    class Widget;
    template <typename T>
    class Param;

    // The base of every GPU pass: effects, mixers, generators, chains. A pass
    // has four input, four auxiliary input and four output slots, a size and
    // viewport origin, the parameters "Params" (at least the boolean
    // "bypassed"), and draws between begin and end into a ping-pong target
    // from the engine's render-target pool, which it holds only for the
    // render unless told to retain its output (or draws into whatever is
    // bound, with output to current buffer). It initialises lazily on the
    // first begin with a size, and persists as one "RenderPass" element with
    // its "type" and "uniqueId".
    //
    // Render thread only (rendering, sizing, start, stop, release); no lock
    // of its own. Parameter values may change on other threads. Passes are
    // held in shared pointers whose deleter is GfxObject::deleteUsingManager.
    class RenderPass : public RttiObject,
                       public GfxObject,
                       public SelfIniter,
                       public ExtensionInstance,
                       public Updatable
    {
    public:
        static constexpr int maxSlots = 4;

        RenderPass(int inputCount, int outputCount);
        // Gives a held target back to the pool.
        ~RenderPass() override;

        static std::string classType() { return "RenderPass"; }

        // True for the class's own type and that of every pass class it
        // derives from; derivedOfClassType answers the object's own type when
        // it is of class type t, else "NONE".
        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }

        // Params follow the pass's path.
        void pathChanged() override;
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;
        // True when a parameter changed.
        bool update(const TimeInfo& info) override;

        // The name, unless a kind has a fixed id.
        virtual std::string getUniqueId() const;
        virtual std::string getDisplayName() const;
        virtual std::string getDescription() const;

        // Re-arms the lazy init and gives a held target back. Subclasses free
        // their own GPU objects first, then call this.
        void release() override;

        virtual bool needsToBeRendered() { return true; }
        // Draws between begin and end; false when nothing was drawn.
        virtual bool render(Renderer& renderer) = 0;
        virtual void resized(int width, int height);

        int getWidth() const override { return width; }
        int getHeight() const override { return height; }

        // The description of the pass's kind: the one the registry gave it,
        // else the kind registered under its class type (any category) in the
        // current render-pass manager; null when there is none.
        RenderPassInfo* getExtension() override;
        void setExtension(RenderPassInfo* info) { extension = info; }

        virtual bool isEnabled() const { return enabled; }
        virtual void setEnabled(bool shouldBeEnabled) { enabled = shouldBeEnabled; }
        virtual bool requiresDepthBuffer() const { return false; }

        // The on-screen widget of passes placed by hand; none here.
        virtual bool hasWidget() { return false; }
        virtual Widget* getWidget() { return nullptr; }
        virtual void handleWidget(Renderer& renderer, GuiView& view, Texture& texture);

        // Lazy init (refused while the size is 0 or after a failed init),
        // then, unless drawing into the current buffer, takes and binds a
        // target (false, after end, when none can be taken or bound); sets
        // the viewport, clears when enabled, sets the colour and identity
        // matrices.
        bool begin(Renderer& renderer) override;
        // Unbinds and publishes output 0; gives the target back unless the
        // output is retained.
        void end(Renderer& renderer) override;
        bool init() override { return true; }
        virtual void setupRenderTargets();

        // "type" and "uniqueId", then the "Params" and "View" children.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // The "Params" and "View" children.
        void readStateDerived(const XmlNode& node) override;

        // A new pass of the element's "type" from the current render-pass manager, with
        // the element read into it (the caller owns it); null when "type" is
        // missing or not registered.
        static RenderPass* createRenderPassFromXmlNode(const XmlNode* node);

        // Size and viewport origin. Changing the size calls resized. The
        // rectangle form takes the origin from its first corner and the size
        // from the absolute differences of the corners.
        void setSize(int newWidth, int newHeight);
        void setSize(int newX, int newY, int newWidth, int newHeight);
        void setSize(const RectT<int>& rect);
        // x1, y1 hold the origin, x2, y2 the width and height.
        RectT<int> getSize() const;

        // Slots 0 to 3; other indices are refused (setters log a line,
        // getters answer null).
        void setInput(int index, const RenderPassTexture& slot);
        // A null texture puts the texture pool's blank texture in the slot.
        void setInput(int index, Texture* texture, int textureWidth, int textureHeight);
        void setAuxInput(int index, const RenderPassTexture& slot);
        void setOutput(int index, const RenderPassTexture& slot);
        // The slot's size becomes the pass's.
        void setOutputTexture(int index, Texture* texture);
        RenderPassTexture* getInput(int index);
        const RenderPassTexture* getInput(int index) const;
        RenderPassTexture* getAuxInput(int index);
        const RenderPassTexture* getOutput(int index) const;

        int getNumInputs() const { return inputCount; }
        int getNumOutputs() const { return outputCount; }

        // Keeps the target and output 0 after end; turning it off while a
        // target is held empties output 0 and gives the target back.
        void retainOutput(bool keep);
        bool isOutputRetained() const { return retain; }
        // Drawing into whatever is bound drops a retained target first.
        void setOutputToCurrentBuffer(bool useCurrentBuffer);
        bool isOutputToCurrentBuffer() const { return outputToCurrentBuffer; }
        // Output 0's texture, taken out of the pools for the caller, with the
        // target given back; empty when there is nothing to take.
        TextureRef stealOutput();
        // The held target (while rendering, or retained), or null.
        RenderTarget* getRenderTarget() const { return renderTarget; }

        void setColor(const Color& newColor) { color = newColor; }
        const Color& getColor() const { return color; }
        void setClearColor(const Color& newColor) { clearColor = newColor; }
        const Color& getClearColor() const { return clearColor; }
        void enableClear(bool shouldClear) { clearEnabled = shouldClear; }
        bool isClearEnabled() const { return clearEnabled; }

        ParamContainer& getParams() const { return *params; }
        bool isBypassed() const;

        bool hasView() const { return view != nullptr; }
        // Made on first call.
        RenderPassView& getView();

    protected:
        void setNumInputs(int count) { inputCount = count; }
        // Empties output 0 (size = the pass's) and gives a held target back.
        void giveBackRenderTarget();

    private:
        std::shared_ptr<Param<bool>> bypassed;
        std::shared_ptr<ParamContainer> params;
        bool clearEnabled = true;
        Color color{1.0f, 1.0f, 1.0f, 1.0f};
        Color clearColor{0.0f, 0.0f, 0.0f, 0.0f};
        int width = 0, height = 0;
        int x = 0, y = 0;
        int outputCount;
        int inputCount;
        RenderTarget* renderTarget = nullptr;
        bool retain = false;
        bool outputToCurrentBuffer = false;
        bool enabled = true;
        RenderPassInfo* extension = nullptr;
        RenderPassTexture outputs[maxSlots];
        RenderPassTexture inputs[maxSlots];
        RenderPassTexture auxInputs[maxSlots];
        std::unique_ptr<RenderPassView> view;
    };
}
