#pragma once

#include "core/VXCurrentInstance.h"

#include <memory>

namespace vx
{
    // A manager the engine root owns although the root's layer does not use
    // the manager's own: that layer installs the manager's maker from a
    // registration file, so a program links the layer (and the libraries
    // behind it) only when it uses it. Deleting the module deletes the manager
    // and clears the seams its maker filled.
    class EngineModule
    {
    public:
        virtual ~EngineModule() = default;
        // Gives the manager's GPU resources back, under the primary context.
        virtual void release() {}
    };

    // The module of one manager class: what the root's getter answers.
    template <typename Manager>
    class EngineModuleOf : public EngineModule
    {
    public:
        explicit EngineModuleOf(Manager& managerToHold) : manager(&managerToHold) {}
        Manager* const manager;
    };

    // A module owning its manager, for the makers: end runs before the
    // manager is deleted, releaseResources on release().
    template <typename Manager>
    class OwningEngineModule final : public EngineModuleOf<Manager>
    {
    public:
        using Hook = void (*)(Manager&);
        explicit OwningEngineModule(std::unique_ptr<Manager> managerToOwn, Hook endHook = nullptr,
                                    Hook releaseHook = nullptr)
            : EngineModuleOf<Manager>(*managerToOwn), owned(std::move(managerToOwn)), end(endHook),
              releaseResources(releaseHook)
        {
        }
        ~OwningEngineModule() override
        {
            if (end != nullptr)
                end(*owned);
        }
        void release() override
        {
            if (releaseResources != nullptr)
                releaseResources(*owned);
        }

    private:
        std::unique_ptr<Manager> owned;
        Hook end;
        Hook releaseResources;
    };

    // What code below the engine root may know of it: whether one exists,
    // the modules it made, and the makers of the managers it makes through
    // modules. The root (vx::Vexkit) is one and names itself current from
    // creation to deletion; its managers have seams of their own.
    class EngineRoot : public CurrentInstance<EngineRoot>
    {
    public:
        // The managers made through modules; each answers an
        // EngineModuleOf<its class>.
        enum class Module
        {
            DeviceChangeDetector,
            VideoFormatManager,
            VideoSourceManager,
            CaptureDeviceManager,
            DisplayCollection,
            Count
        };
        // Makes the module for root, which has made every module before it in
        // its order; null when a manager it needs is missing.
        using ModuleMaker = std::unique_ptr<EngineModule> (*)(EngineRoot& root);
        // Replaces the maker of one module; null removes it. Without a maker
        // the root makes no such manager, whatever its flags.
        static void setModuleMaker(Module which, ModuleMaker maker);
        static ModuleMaker getModuleMaker(Module which);

        // Run when a root is deleted, in the order added: ends singletons of
        // layers above the root's own that live as long as the root.
        using EndHandler = void (*)();
        static void addEndHandler(EndHandler handler);

        virtual ~EngineRoot() = default;

        // The module made so far, or null (always, for a root that makes
        // none).
        virtual EngineModule* getModule(Module which) const;

    protected:
        static void runEndHandlers();
    };
}
