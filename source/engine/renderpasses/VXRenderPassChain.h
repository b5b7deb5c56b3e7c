#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXCriticalSection.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassChainListener.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class TransformEffect;

    // An ordered list of passes rendered one after another through the
    // chain's own ping-pong target: each pass draws into one set while
    // reading the last good picture from the other (input 0 for the first).
    // A pass that fails is skipped and its drawing discarded. Without any
    // pass rendered the input is drawn through. The chain keeps its passes'
    // parameter paths unique below its own, starts and stops them with
    // itself, tells listeners about list changes, and persists the list as
    // child elements matched back by position and unique id. Chains do not
    // nest.
    //
    // One recursive lock guards the list: rendering, queries and every edit
    // hold it, listeners are called under it, and per-frame walks (update,
    // start, stop, release) run over a copy taken under it, so a pass
    // removed meanwhile stays alive until the walk is done. Rendering runs on
    // the render thread and leaves the GL state its caller sees as it was.
    class RenderPassChain : public RenderPass, public Broadcaster<RenderPassChainListener>
    {
    public:
        using PassPtr = std::shared_ptr<RenderPass>;

        RenderPassChain();
        // Removes every pass.
        ~RenderPassChain() override;

        static std::string classType() { return "RenderPassChain"; }
        static std::string classDisplayStr() { return "RenderPass Chain"; }
        static RttiObject* creationFunc() { return new RenderPassChain(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // Unique paths below the chain's: the n-th pass of a name (n >= 2)
        // gets chainPath/<name><n>.
        void pathChanged() override;
        void start(bool restart, const TimeUnit& time) override;
        // Stops every pass, then the chain's own parameters.
        void stop(const TimeUnit& time) override;
        bool update(const TimeInfo& info) override;
        void release() override;
        void resized(int newWidth, int newHeight) override;
        bool requiresDepthBuffer() const override;
        bool init() override;

        // With the render-without-passes flag, always the pass's begin;
        // otherwise false for an empty list or one where no pass can render.
        // A chain has its own target: drawing into the current buffer is
        // refused.
        bool begin(Renderer& renderer) override;
        // False when begin failed; true once begun, whatever the passes did.
        // Output 0 (when retained) is the last good picture.
        bool render(Renderer& renderer) override;
        // The passes up to the first transform effect at width1 x height1,
        // then the rest at width2 x height2 over that result. The pass filter,
        // input 0 and output retention are as before afterwards.
        bool renderSeperated(Renderer& renderer, unsigned short width1, unsigned short height1, unsigned short width2,
                             unsigned short height2);
        // The passes before the first transform effect, and the rest;
        // bypassed passes are in neither.
        void splitRenderPasses(std::vector<RenderPass*>& first, std::vector<RenderPass*>& second);

        // Hooks for subclasses; the chain never calls them.
        virtual void prePass() {}
        virtual void postPass(bool) {}

        // Not initialised-and-failed, needs rendering, enabled, not bypassed.
        bool canPassBeRendered(const PassPtr& pass) const;

        // Editing. A pass is owned through a shared pointer whose deleter is
        // GfxObject::deleteUsingManager; raw forms wrap the pass first.
        PassPtr addRenderPass(RenderPass* pass);
        void addRenderPass(PassPtr pass);
        // Empty pointers and chains are ignored; the index is limited to the
        // list; with replace the pass at the index goes first. A pass
        // inserted into a running chain is started. Here and in the moves
        // below the head passes stay first (setHeadPasses).
        void insertRenderPass(int index, PassPtr pass, bool replace);
        void insertRenderPass(int index, RenderPass* pass, bool replace);
        // Before or after the reference; appended when it is not in the chain.
        void insertBeforeRenderPass(const PassPtr& reference, RenderPass* pass);
        void insertAfterRenderPass(const PassPtr& reference, RenderPass* pass);
        // A pass not in the chain is ignored; a running chain stops it.
        void removeRenderPass(PassPtr pass);
        void removeAllPasses();
        // False for a negative to or no pass at from; a to past the end moves
        // to the end.
        bool moveRenderPass(int from, int to);
        bool moveRenderPassToOtherChain(RenderPassChain& other, int from, int to);
        // Exchanges the pass at a here with the one at b in other (in one
        // chain: the two positions).
        bool swapRenderPassBetweenChains(RenderPassChain& other, int a, int b);

        // Queries (empty or -1 when nothing matches).
        PassPtr getRenderPass(int index) const;
        PassPtr getLastRenderPass() const;
        void getAllRenderPasses(std::vector<PassPtr>& out) const;
        int getNumPasses() const;
        int findIndexOfPass(const RenderPass& pass) const;
        std::shared_ptr<TransformEffect> findFirstTransform() const;
        PassPtr getRenderPassByName(const std::string& name) const;
        PassPtr getRenderPassByUniqueId(const std::string& uniqueId) const;
        void getRenderPassesWithType(std::vector<PassPtr>& out, const std::string& type) const;
        bool isRunning() const { return running; }

        // The owner's own passes (a source's format conversion, say), in
        // this order: inserted where missing and kept at the head of the
        // list whatever inserts, moves, swaps and restored states do; the
        // other passes follow in their own order. A pass removed from the
        // chain is no longer held; one held before and left out here stays
        // where it is. Empty pointers are ignored.
        void setHeadPasses(const std::vector<PassPtr>& head);

        void setRenderWithoutPasses(bool shouldRender) { renderWithoutPasses = shouldRender; }
        bool getRenderWithoutPasses() const { return renderWithoutPasses; }

        // Each pass element carries "index", its position in the list.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Elements are matched to passes by position and unique id first,
        // then by unique id alone (each pass takes one element) and moved to
        // their "index"; an unmatched element with storage 0 or 2 is made and
        // inserted at its "index" (appended without one); then the chain's
        // own "Params" and "View". Head passes go back to the head last, so
        // indices counted with or without them give the other passes the
        // order they were written in.
        void readStateDerived(const XmlNode& node) override;

    private:
        using PassFilter = std::function<bool(RenderPass&)>;

        std::vector<PassPtr> copyPasses() const;
        void renderPasses(Renderer& renderer, const std::vector<PassPtr>& list);
        // insertRenderPass and moveRenderPass; the head passes are left
        // where they are when settleHead is false.
        void insertPass(int index, PassPtr pass, bool replace, bool settleHead);
        bool movePass(int from, int to, bool settleHead);
        // Puts the head passes first, in their order; answers whether the
        // list changed. Under the lock.
        bool keepHeadFirst();
        bool isHeadPass(const RenderPass* pass) const;

        CriticalSection lock;
        std::vector<PassPtr> passes;
        // The owner's passes kept first; only compared, never used.
        std::vector<const RenderPass*> headPasses;
        std::atomic<bool> running{false};
        PassFilter passFilter;
        std::atomic<bool> renderWithoutPasses{false};
    };
}
