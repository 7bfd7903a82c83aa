// Internal: which GL context the engine's GL objects belong to. Each new context (window or
// offscreen view) gets a new generation; objects made for an older one are recreated on use
// and never deleted through the wrong context. Generation 0 means no context.
#pragma once

namespace eng::detail {

unsigned glGeneration();
void glContextCreated();
void glContextDestroyed();

}  // namespace eng::detail
