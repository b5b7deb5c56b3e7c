#pragma once

#include "engine/ffgl/FFGL.h"

// The entry point this module exports (the only symbol it exports).
extern "C" __attribute__((visibility("default"))) FFGL::Word plugMain(std::uint32_t code, FFGL::Word input,
                                                                      FFGL::Word instance);
