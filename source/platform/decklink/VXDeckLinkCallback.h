#pragma once

#include <atomic>

#include "platform/decklink/VXDeckLinkAPI.h"

namespace vx
{
    // A callback object handed to the driver. Counted: its maker holds the
    // first reference, the driver one while the callback is set and one on
    // each call, so a call the driver delivers late still lands on a live
    // object; the last Release deletes it. It answers no other interfaces.
    template <class... Interfaces>
    class DeckLinkCallback : public Interfaces...
    {
    public:
        HRESULT QueryInterface(REFIID, void** object) override
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return ++references; }
        ULONG Release() override
        {
            const ULONG left = --references;
            if (left == 0)
                delete this;
            return left;
        }

    protected:
        ~DeckLinkCallback() override = default;

    private:
        std::atomic<ULONG> references{1};
    };
}
