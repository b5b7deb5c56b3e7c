#pragma once

#include <string>

namespace VXApp
{
    // An engine application: made once, initialised with a GL context current
    // (init), then updated and drawn every frame, and ended with exit.
    class AppModule
    {
    public:
        AppModule() = default;
        virtual ~AppModule();

        AppModule(const AppModule&) = delete;
        AppModule& operator=(const AppModule&) = delete;

        // Loads the application's GL resources; false when it cannot run.
        virtual bool init() = 0;
        virtual void draw() {}
        virtual void afterDraw() {}
        virtual void update() {}
        virtual void exit() {}

        const std::string& getName() const { return name; }

    private:
        std::string name = "app";
    };
}
