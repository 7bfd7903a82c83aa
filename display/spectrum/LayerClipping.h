// Clipping of the spectrum layers: the scissor is set to the layer's rectangle before its own
// drawing and its children, and dropped after them, so traces, markers and texture parts
// outside the plot never show. The renderer's scissor commands nest, so a layer inside a
// clipped parent is clipped to both.
#pragma once

#include "engine/Node.h"
#include "engine/Renderer.h"

namespace tarvo {

// (0, 0, content size) of `node` in window points, for a node drawn under `parentTransform`.
eng::Rect windowRectOf(const eng::Node& node, const eng::Mat4& parentTransform);

// The two bracketing commands: call beginClip, the engine's visit, then endClip.
void beginClip(const eng::Node& node, eng::Renderer& renderer, const eng::Mat4& parentTransform);
void endClip(const eng::Node& node, eng::Renderer& renderer);

}  // namespace tarvo
