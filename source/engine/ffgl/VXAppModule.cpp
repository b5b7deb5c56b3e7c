#include "engine/ffgl/VXAppModule.h"

namespace VXApp
{
    AppModule::~AppModule() = default;
}
