#include "engine/renderpasses/VXRenderPassChain.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTimeUnit.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureDebugger.h"
#include "engine/renderpasses/VXTransformEffect.h"

#include <algorithm>
#include <map>

namespace vx
{
    namespace
    {
        RenderPassChain::PassPtr makeShared(RenderPass* pass)
        {
            return RenderPassChain::PassPtr(pass, &GfxObject::deleteUsingManager);
        }

        // Two chains locked in one order whichever thread asks, so moves in
        // opposite directions cannot deadlock.
        class ScopedPairLock
        {
        public:
            ScopedPairLock(const CriticalSection& a, const CriticalSection& b)
                : first(&a < &b ? a : b), second(&a < &b ? b : a)
            {
            }

        private:
            ScopedLock first;
            ScopedLock second;
        };
    }

    RenderPassChain::RenderPassChain() : RenderPass(1, 1)
    {
        setName(classType(), true);
    }

    RenderPassChain::~RenderPassChain()
    {
        removeAllPasses();
        cleanup();
    }

    bool RenderPassChain::isOfClassType(std::string t) const
    {
        return t == RenderPassChain::classType() || RenderPass::isOfClassType(t);
    }

    std::string RenderPassChain::derivedOfClassType(std::string t) const
    {
        return t == RenderPassChain::classType() ? getClassType() : RenderPass::derivedOfClassType(t);
    }

    std::vector<RenderPassChain::PassPtr> RenderPassChain::copyPasses() const
    {
        const ScopedLock hold(lock);
        return passes;
    }

    // ---- Per-frame and lifecycle walks.

    void RenderPassChain::pathChanged()
    {
        const ScopedLock hold(lock);
        std::map<std::string, int> seen;
        for (const PassPtr& pass : passes)
        {
            const int n = ++seen[pass->getName()];
            if (n == 1)
                pass->setPathByParent(getPath(), std::string());
            else
                pass->setPath(getPath() + "/" + pass->getName() + std::to_string(n), false);
        }
        RenderPass::pathChanged();
    }

    void RenderPassChain::start(bool restart, const TimeUnit& time)
    {
        for (const PassPtr& pass : copyPasses())
            pass->start(restart, time);
        RenderPass::start(restart, time);
        running = true;
    }

    void RenderPassChain::stop(const TimeUnit&)
    {
        for (const PassPtr& pass : copyPasses())
            pass->stop(TimeUnit());
        RenderPass::stop(TimeUnit());
        running = false;
    }

    bool RenderPassChain::update(const TimeInfo& info)
    {
        bool changed = false;
        for (const PassPtr& pass : copyPasses())
            changed = pass->update(info) || changed;
        return RenderPass::update(info) || changed;
    }

    void RenderPassChain::release()
    {
        for (const PassPtr& pass : copyPasses())
            pass->release();
        RenderPass::release();
    }

    void RenderPassChain::resized(int newWidth, int newHeight)
    {
        const ScopedLock hold(lock);
        for (const PassPtr& pass : passes)
            pass->setSize(newWidth, newHeight);
    }

    bool RenderPassChain::requiresDepthBuffer() const
    {
        const ScopedLock hold(lock);
        return std::any_of(passes.begin(), passes.end(), [](const PassPtr& p) { return p->requiresDepthBuffer(); });
    }

    bool RenderPassChain::init()
    {
        RenderPass::init();
        for (const PassPtr& pass : copyPasses())
            pass->setSize(getWidth(), getHeight());
        return true;
    }

    // ---- Rendering.

    bool RenderPassChain::canPassBeRendered(const PassPtr& pass) const
    {
        if (pass == nullptr || pass->didInitFail())
            return false;
        return pass->needsToBeRendered() && pass->isEnabled() && ! pass->isBypassed();
    }

    bool RenderPassChain::begin(Renderer& renderer)
    {
        if (isOutputToCurrentBuffer())
        {
            logPrint(logError, "RenderPassChain::begin: a chain draws through its own target, not the current buffer");
            return false;
        }
        if (! renderWithoutPasses)
        {
            const ScopedLock hold(lock);
            if (std::none_of(passes.begin(), passes.end(), [this](const PassPtr& p) { return canPassBeRendered(p); }))
                return false;
        }
        return RenderPass::begin(renderer);
    }

    bool RenderPassChain::render(Renderer& renderer)
    {
        const ScopedLock hold(lock);
        // The caller finds its GL state, its bound target and the renderer's
        // matrices as it left them.
        const ScopedRenderState state(renderer.getRenderContext());
        RenderTarget* outerTarget = RenderTarget::getCurrentRenderTarget();
        renderer.pushMatrix();

        // A copy: a pass that edits the list while it renders cannot pull
        // the rest out from under this walk.
        const std::vector<PassPtr> list = passes;
        const bool began = begin(renderer);
        if (began)
            renderPasses(renderer, list);

        renderer.popMatrix();
        if (outerTarget != nullptr && outerTarget != getRenderTarget())
            outerTarget->bind();
        return began;
    }

    void RenderPassChain::renderPasses(Renderer& renderer, const std::vector<PassPtr>& list)
    {
        RenderTarget& target = *getRenderTarget();
        const RenderPassTexture& input = *getInput(0);

        // The last good picture: the input, or a set of the target once
        // something was drawn there.
        Texture* current = input.texture;
        bool currentInTarget = false;
        bool composed = false;
        if (current != nullptr && getClearColor().squareDistance(Color(0.0f, 0.0f, 0.0f, 0.0f)) > 0.0f)
        {
            gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
            renderer.drawTexture(*current, -1.0f, -1.0f, 2.0f, 2.0f, true);
            gfx::setBlendMode(gfx::BLEND_OFF);
            current = target.getTexture(0);
            currentInTarget = composed = true;
        }

        if (isDebugging() && ! list.empty())
            TextureDebugger::getInstance().debugTexture(current, std::string());

        bool rendered = false;
        bool attempted = false;
        for (const PassPtr& pass : list)
        {
            if (! canPassBeRendered(pass) || (passFilter && ! passFilter(*pass)))
                continue;
            const bool hasInputs = pass->getNumInputs() > 0;
            if (hasInputs && current == nullptr)
                continue;

            // Draw into the set that does not hold the last good picture.
            if (currentInTarget)
            {
                target.flip();
                if (! target.bind())
                {
                    target.flip();
                    break;
                }
            }
            if (hasInputs)
            {
                pass->setInput(0, current, 0, 0);
                for (int i = 0; i < maxSlots; ++i)
                    if (getAuxInput(i)->texture != nullptr)
                        pass->setAuxInput(i, *getAuxInput(i));
            }
            pass->setOutputToCurrentBuffer(true);
            pass->setSize(getWidth(), getHeight());

            attempted = true;
            if (pass->render(renderer))
            {
                rendered = true;
                current = target.getTexture(0);
                currentInTarget = true;
                if (isDebugging())
                    TextureDebugger::getInstance().debugTexture(current, std::string());
            }
            else
            {
                debugPrint("RenderPassChain::render() pass(%s).render failed", pass->getName().c_str());
                // Back to the set with the last good picture; the next pass
                // draws over the failed one's drawing.
                if (currentInTarget)
                    target.flip();
            }
        }

        if (! rendered && input.texture != nullptr && ! composed)
        {
            if (! target.bind())
                logPrint(logError, "RenderPassChain::render: the chain's target cannot be bound again");
            else
            {
                // A failed pass may have drawn here already.
                if (attempted)
                    gfx::clear(getClearColor().r, getClearColor().g, getClearColor().b, getClearColor().a, true, 1.0f);
                renderer.setViewport(RectT<float>(0.0f, 0.0f, float(getWidth()), float(getHeight())));
                renderer.clearMatrices(true, true, true);
                gfx::setIdentityTransform();
                gfx::color(getColor());
                gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
                input.draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
                gfx::setBlendMode(gfx::BLEND_OFF);
            }
        }

        RenderPass::end(renderer);
    }

    bool RenderPassChain::renderSeperated(Renderer& renderer, unsigned short width1, unsigned short height1,
                                          unsigned short width2, unsigned short height2)
    {
        const ScopedLock hold(lock);
        std::vector<RenderPass*> first, second;
        splitRenderPasses(first, second);

        const PassFilter savedFilter = passFilter;
        const RenderPassTexture savedInput = *getInput(0);
        const bool savedRetain = isOutputRetained();
        const auto memberOf = [](const std::vector<RenderPass*>& part)
        { return [&part](RenderPass& pass) { return std::find(part.begin(), part.end(), &pass) != part.end(); }; };

        bool ok = true;
        TextureRef firstOutput; // kept until the second render is done
        if (! first.empty())
        {
            passFilter = memberOf(first);
            setSize(width1, height1);
            retainOutput(true);
            ok = render(renderer);
            if (ok)
            {
                firstOutput = stealOutput();
                if (firstOutput.get() == nullptr)
                {
                    logPrint(logError, "RenderPassChain::renderSeperated: the first part's picture cannot be kept");
                    ok = false;
                }
                else
                    setInput(0, firstOutput.get(), 0, 0);
            }
        }
        if (ok)
        {
            passFilter = memberOf(second);
            setSize(width2, height2);
            ok = render(renderer);
        }

        passFilter = savedFilter;
        setInput(0, savedInput);
        // Retention was the first part's need only: as with render, the
        // output is kept when the caller asked for it.
        retainOutput(savedRetain);
        return ok;
    }

    void RenderPassChain::splitRenderPasses(std::vector<RenderPass*>& first, std::vector<RenderPass*>& second)
    {
        const ScopedLock hold(lock);
        bool inSecond = false;
        for (const PassPtr& pass : passes)
        {
            inSecond = inSecond || dynamic_cast<TransformEffect*>(pass.get()) != nullptr;
            if (! pass->isBypassed())
                (inSecond ? second : first).push_back(pass.get());
        }
    }

    // ---- Editing.

    RenderPassChain::PassPtr RenderPassChain::addRenderPass(RenderPass* pass)
    {
        if (pass == nullptr)
            return nullptr;
        PassPtr shared = makeShared(pass);
        addRenderPass(shared);
        return shared;
    }

    void RenderPassChain::addRenderPass(PassPtr pass)
    {
        const ScopedLock hold(lock);
        insertRenderPass(int(passes.size()), std::move(pass), false);
    }

    void RenderPassChain::insertRenderPass(int index, RenderPass* pass, bool replace)
    {
        if (pass != nullptr)
            insertRenderPass(index, makeShared(pass), replace);
    }

    void RenderPassChain::insertRenderPass(int index, PassPtr pass, bool replace)
    {
        insertPass(index, std::move(pass), replace, true);
    }

    void RenderPassChain::insertPass(int index, PassPtr pass, bool replace, bool settleHead)
    {
        if (pass == nullptr || dynamic_cast<RenderPassChain*>(pass.get()) != nullptr)
            return;
        const ScopedLock hold(lock);
        index = std::clamp(index, 0, int(passes.size()));
        if (replace && index < int(passes.size()))
            removeRenderPass(passes[size_t(index)]);
        index = std::min(index, int(passes.size()));
        passes.insert(passes.begin() + index, pass);
        if (settleHead)
            keepHeadFirst();
        pathChanged();
        if (running)
            pass->start(false, TimeUnit());
        callListeners(&RenderPassChainListener::renderPassInserted, *pass, CallType::standard);
    }

    void RenderPassChain::insertBeforeRenderPass(const PassPtr& reference, RenderPass* pass)
    {
        const ScopedLock hold(lock);
        const int index = reference != nullptr ? findIndexOfPass(*reference) : -1;
        insertRenderPass(index >= 0 ? index : int(passes.size()), pass, false);
    }

    void RenderPassChain::insertAfterRenderPass(const PassPtr& reference, RenderPass* pass)
    {
        const ScopedLock hold(lock);
        const int index = reference != nullptr ? findIndexOfPass(*reference) : -1;
        insertRenderPass(index >= 0 ? std::min(index + 1, int(passes.size())) : int(passes.size()), pass, false);
    }

    void RenderPassChain::removeRenderPass(PassPtr pass)
    {
        if (pass == nullptr)
            return;
        const ScopedLock hold(lock);
        const auto found = std::find(passes.begin(), passes.end(), pass);
        if (found == passes.end())
            return;
        if (running)
            pass->stop(TimeUnit());
        passes.erase(found);
        if (std::find(passes.begin(), passes.end(), pass) == passes.end())
            headPasses.erase(std::remove(headPasses.begin(), headPasses.end(), pass.get()), headPasses.end());
        pathChanged();
        callListeners(&RenderPassChainListener::renderPassRemoved, *pass, CallType::standard);
    }

    void RenderPassChain::removeAllPasses()
    {
        const ScopedLock hold(lock);
        headPasses.clear();
        while (! passes.empty())
            passes.pop_back();
        callListeners(&RenderPassChainListener::allRenderPassesRemoved, CallType::standard);
    }

    bool RenderPassChain::moveRenderPass(int from, int to)
    {
        return movePass(from, to, true);
    }

    bool RenderPassChain::movePass(int from, int to, bool settleHead)
    {
        const ScopedLock hold(lock);
        if (to < 0 || from < 0 || from >= int(passes.size()))
            return false;
        to = std::min(to, int(passes.size()) - 1);
        PassPtr pass = passes[size_t(from)];
        passes.erase(passes.begin() + from);
        passes.insert(passes.begin() + to, std::move(pass));
        if (settleHead)
            keepHeadFirst();
        pathChanged();
        callListeners(&RenderPassChainListener::renderPassMoved, CallType::standard);
        return true;
    }

    bool RenderPassChain::moveRenderPassToOtherChain(RenderPassChain& other, int from, int to)
    {
        const ScopedPairLock hold(lock, other.lock);
        PassPtr pass = getRenderPass(from);
        if (pass == nullptr)
            return false;
        removeRenderPass(pass);
        other.insertRenderPass(to, pass, false);
        return true;
    }

    bool RenderPassChain::swapRenderPassBetweenChains(RenderPassChain& other, int a, int b)
    {
        const ScopedPairLock hold(lock, other.lock);
        PassPtr mine = getRenderPass(a);
        PassPtr theirs = other.getRenderPass(b);
        if (mine == nullptr || theirs == nullptr)
            return false;
        if (&other == this)
        {
            std::swap(passes[size_t(a)], passes[size_t(b)]);
            keepHeadFirst();
            pathChanged();
            callListeners(&RenderPassChainListener::renderPassMoved, CallType::standard);
            return true;
        }
        removeRenderPass(mine);
        other.removeRenderPass(theirs);
        insertRenderPass(a, theirs, false);
        other.insertRenderPass(b, mine, false);
        return true;
    }

    void RenderPassChain::setHeadPasses(const std::vector<PassPtr>& head)
    {
        const ScopedLock hold(lock);
        headPasses.clear();
        for (const PassPtr& pass : head)
            if (pass != nullptr && dynamic_cast<RenderPassChain*>(pass.get()) == nullptr && ! isHeadPass(pass.get()))
                headPasses.push_back(pass.get());
        for (const PassPtr& pass : head)
            if (pass != nullptr && std::find(passes.begin(), passes.end(), pass) == passes.end())
                insertRenderPass(0, pass, false);
        if (keepHeadFirst())
        {
            pathChanged();
            callListeners(&RenderPassChainListener::renderPassMoved, CallType::standard);
        }
    }

    bool RenderPassChain::isHeadPass(const RenderPass* pass) const
    {
        return std::find(headPasses.begin(), headPasses.end(), pass) != headPasses.end();
    }

    bool RenderPassChain::keepHeadFirst()
    {
        if (headPasses.empty())
            return false;
        // Settled already (the case at every render): the head passes lead
        // in their order and none stands further down. Nothing to copy.
        size_t led = 0;
        for (const RenderPass* head : headPasses)
            while (led < passes.size() && passes[led].get() == head)
                ++led;
        if (std::none_of(passes.begin() + std::ptrdiff_t(led), passes.end(),
                         [this](const PassPtr& pass) { return isHeadPass(pass.get()); }))
            return false;
        std::vector<PassPtr> ordered;
        ordered.reserve(passes.size());
        for (const RenderPass* head : headPasses)
            for (const PassPtr& pass : passes)
                if (pass.get() == head)
                    ordered.push_back(pass);
        for (const PassPtr& pass : passes)
            if (! isHeadPass(pass.get()))
                ordered.push_back(pass);
        passes.swap(ordered);
        return true;
    }

    // ---- Queries.

    RenderPassChain::PassPtr RenderPassChain::getRenderPass(int index) const
    {
        const ScopedLock hold(lock);
        return index >= 0 && index < int(passes.size()) ? passes[size_t(index)] : nullptr;
    }

    RenderPassChain::PassPtr RenderPassChain::getLastRenderPass() const
    {
        const ScopedLock hold(lock);
        return passes.empty() ? nullptr : passes.back();
    }

    void RenderPassChain::getAllRenderPasses(std::vector<PassPtr>& out) const
    {
        const ScopedLock hold(lock);
        if (&out != &passes)
            out = passes;
    }

    int RenderPassChain::getNumPasses() const
    {
        const ScopedLock hold(lock);
        return int(passes.size());
    }

    int RenderPassChain::findIndexOfPass(const RenderPass& pass) const
    {
        const ScopedLock hold(lock);
        for (size_t i = 0; i < passes.size(); ++i)
            if (passes[i].get() == &pass)
                return int(i);
        return -1;
    }

    std::shared_ptr<TransformEffect> RenderPassChain::findFirstTransform() const
    {
        const ScopedLock hold(lock);
        for (const PassPtr& pass : passes)
            if (auto transform = std::dynamic_pointer_cast<TransformEffect>(pass))
                return transform;
        return nullptr;
    }

    RenderPassChain::PassPtr RenderPassChain::getRenderPassByName(const std::string& name) const
    {
        const ScopedLock hold(lock);
        for (const PassPtr& pass : passes)
            if (pass->getName() == name)
                return pass;
        return nullptr;
    }

    RenderPassChain::PassPtr RenderPassChain::getRenderPassByUniqueId(const std::string& uniqueId) const
    {
        const ScopedLock hold(lock);
        for (const PassPtr& pass : passes)
            if (pass->getUniqueId() == uniqueId)
                return pass;
        return nullptr;
    }

    void RenderPassChain::getRenderPassesWithType(std::vector<PassPtr>& out, const std::string& type) const
    {
        const ScopedLock hold(lock);
        for (const PassPtr& pass : passes)
        {
            debugPrint("ClassType derived: " + pass->derivedOfClassType(type));
            debugPrint("ClassType: " + pass->getClassType());
            if (pass->isOfClassType(type))
                out.push_back(pass);
        }
    }

    // ---- XML.

    XmlNode* RenderPassChain::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = RenderPass::writeStateDerived(pool, force);
        const std::vector<PassPtr> list = copyPasses();
        for (size_t i = 0; i < list.size(); ++i)
            if (XmlNode* child = list[i]->writeState(pool, force))
            {
                child->append_attribute(createAttribute(pool, "index", int(i)));
                element->append_node(child);
            }
        return element;
    }

    void RenderPassChain::readStateDerived(const XmlNode& node)
    {
        const ScopedLock hold(lock);
        // Each pass takes one element, so passes sharing a unique id keep
        // their own states.
        std::vector<const RenderPass*> matched;
        const auto isMatched = [&matched](const PassPtr& p)
        { return std::find(matched.begin(), matched.end(), p.get()) != matched.end(); };

        for (const XmlNode* child = node.first_node("RenderPass"); child != nullptr;
             child = child->next_sibling("RenderPass"))
        {
            const XmlAttribute* idAttribute = child->first_attribute("uniqueId");
            if (child->first_attribute("type") == nullptr || idAttribute == nullptr)
                continue;
            const std::string uniqueId = readAttribute(idAttribute, std::string());
            int index = -1;
            if (! readAttribute(child->first_attribute("index"), &index))
                index = -1;

            int position = -1;
            if (index >= 0 && index < int(passes.size()) && passes[size_t(index)]->getUniqueId() == uniqueId &&
                ! isMatched(passes[size_t(index)]))
                position = index;
            for (size_t i = 0; position < 0 && i < passes.size(); ++i)
                if (passes[i]->getUniqueId() == uniqueId && ! isMatched(passes[i]))
                    position = int(i);

            if (position >= 0)
            {
                const PassPtr pass = passes[size_t(position)];
                matched.push_back(pass.get());
                pass->readState(child, false);
                // Head passes are put back once all are placed: moving them
                // now would shift the places later elements ask for.
                if (index != -1 && index != position)
                    movePass(position, index, false);
                continue;
            }

            const Storage storage = getXmlNodeStorage(*child);
            if (storage == storageDefault || storage == storageAlways)
            {
                debugPrint("%s, no pass with this uniqueId (%s) found!", "readStateDerived", uniqueId.c_str());
                continue;
            }
            if (RenderPass* created = createRenderPassFromXmlNode(child))
            {
                // A pass the chain refuses (another chain) is gone at the end
                // of this scope: only passes in the list count as matched.
                const PassPtr added = makeShared(created);
                insertPass(index >= 0 ? index : int(passes.size()), added, false, false);
                if (findIndexOfPass(*added) >= 0)
                    matched.push_back(added.get());
            }
            else
                debugPrint("RenderPassChain::readStateDerived, createRenderPassFromXmlNode failed!");
        }
        if (keepHeadFirst())
        {
            pathChanged();
            callListeners(&RenderPassChainListener::renderPassMoved, CallType::standard);
        }
        RenderPass::readStateDerived(node);
    }
}
