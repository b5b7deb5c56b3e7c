#pragma once

namespace vx
{
    class Renderer;

    // Lazy one-time init for GPU-backed objects: runs on the first begin()
    // once the object has a non-zero size. A failed init is not retried
    // until resetState().
    class SelfIniter
    {
    public:
        virtual int getWidth() const = 0;
        virtual int getHeight() const = 0;
        virtual ~SelfIniter() = default;

        // False while width or height is 0 (flags untouched), or when init failed.
        virtual bool begin(Renderer& renderer);
        virtual void end(Renderer& renderer);
        virtual bool init() = 0;

        bool isInitialized() const { return initialised && ! initFailed; }
        bool didInitFail() const { return initFailed; }
        void resetState();

    private:
        bool initialised = false;
        bool initFailed = false;
    };
}
