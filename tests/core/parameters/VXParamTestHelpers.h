#pragma once

#include "core/VXAsyncUpdatable.h"
#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamListener.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlCapable.h"

#include <rapidxml/rapidxml_print.hpp>

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx::test
{
    // Records every callback of the parameters it listens to, in order.
    class RecordingParamListener : public ParamListener
    {
    public:
        struct Call
        {
            bool isValue;
            ParamBase* param;
            ChangeInfo info;
        };

        void valueChanged(ParamBase& param, ChangeInfo info) override { record(true, param, info); }
        void stateChanged(ParamBase& param, ChangeInfo info) override { record(false, param, info); }

        // "value(<source>)" and "state(<state>)", one per call.
        std::vector<std::string> events() const
        {
            std::lock_guard<std::mutex> hold(lock);
            std::vector<std::string> texts;
            for (const Call& call : calls)
                texts.push_back(call.isValue ? "value(" + std::to_string(call.info.source) + ")"
                                             : "state(" + std::to_string(call.info.state) + ")");
            return texts;
        }

        std::vector<Call> recorded() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return calls;
        }

        void clear()
        {
            std::lock_guard<std::mutex> hold(lock);
            calls.clear();
        }

    private:
        void record(bool isValue, ParamBase& param, const ChangeInfo& info)
        {
            std::lock_guard<std::mutex> hold(lock);
            calls.push_back({isValue, &param, info});
        }

        mutable std::mutex lock;
        std::vector<Call> calls;
    };

    // Holds triggered updates until flush(); installed for the objects
    // constructed while a DeferringImplScope lives.
    class DeferringImpl : public AsyncUpdatableImpl
    {
    public:
        explicit DeferringImpl(AsyncUpdatable& ownerToCall) : AsyncUpdatableImpl(ownerToCall) { all().push_back(this); }
        ~DeferringImpl() override { all().erase(std::find(all().begin(), all().end(), this)); }

        using AsyncUpdatableImpl::triggerAsyncUpdateDerived;
        void triggerAsyncUpdateDerived() override { pending = true; }
        void cancelPendingUpdateDerived() override { pending = false; }

        // Runs every pending callback once; answers how many ran.
        static int flush()
        {
            int ran = 0;
            const std::vector<DeferringImpl*> snapshot = all();
            for (DeferringImpl* impl : snapshot)
            {
                if (std::find(all().begin(), all().end(), impl) == all().end() || ! impl->pending)
                    continue;
                impl->pending = false;
                impl->owner.asyncCallback();
                ++ran;
            }
            return ran;
        }

        static AsyncUpdatableImpl* create(AsyncUpdatable& updatable) { return new DeferringImpl(updatable); }

    private:
        static std::vector<DeferringImpl*>& all()
        {
            static std::vector<DeferringImpl*> impls;
            return impls;
        }

        bool pending = false;
    };

    class DeferringImplScope
    {
    public:
        DeferringImplScope() : previous(AsyncUpdatableImpl::creationFunc)
        {
            AsyncUpdatableImpl::creationFunc = &DeferringImpl::create;
        }
        ~DeferringImplScope() { AsyncUpdatableImpl::creationFunc = previous; }

    private:
        AsyncUpdatableImpl::CreationFunc previous;
    };

    inline std::string printNode(const XmlNode& node)
    {
        std::string text;
        rapidxml::print(std::back_inserter(text), node);
        return text;
    }

    // The element object writes into a fresh pool, as text ("" for none).
    inline std::string writeToText(XmlCapable& object, bool force)
    {
        XmlDocument document;
        const XmlNode* element = object.writeState(document, force);
        return element == nullptr ? std::string() : printNode(*element);
    }

    // A parsed copy of text that owns its characters.
    inline std::unique_ptr<XmlDocument> parseText(const std::string& text)
    {
        auto document = std::make_unique<XmlDocument>();
        char* buffer = document->allocate_string(text.c_str(), text.size() + 1);
        document->parse<0>(buffer);
        return document;
    }
}
