// The engine in one include. Index of the public headers:
//   Types.h       Vec2, Size, Rect, Color3B/4B/4F, colors::, Mat4, BlendFunc, decodeUtf8
//   Ref.h         Ref (retain/release/autorelease), RefPtr<T>, AutoreleasePool, ENG_CREATE_FUNC
//   Node.h        Node (lifecycle, children, z, transforms, opacity), Scene, Layer, LayerColor
//   Scheduler.h   per-frame updates by priority, timers by key
//   Actions.h     FadeTo/In/Out, MoveTo/By, RotateBy, ScaleTo, DelayTime, CallFunc, Sequence,
//                 RepeatForever, ActionManager
//   Touch.h       Touch, EventListenerTouchOneByOne, EventListenerKeyboard, EventDispatcher
//                 (with injection), TouchScript, Device (DPI)
//   Director.h    Director: scene, frame step, main loop, headless mode, captures
//   GLView.h      the SDL2 window / offscreen view, GLContextAttrs
//   Application.h the application hooks and run()
//   Renderer.h    Renderer, CustomCommand, BatchCommand, scissor stack
//   GLProgram.h   GLProgram, GLProgramCache (built-in programs), GLProgramState
//   Texture2D.h   Texture2D, TextureCache
//   Image.h       RGBA images, PNG decode/encode
//   Sprite.h      Sprite, Scale9Sprite
//   DrawNode.h    DrawNode
//   Label.h       Label, FontAtlas
//   Capture.h     utils::captureScreen
//   Platform.h    sendEmail, openURL, ProcessLauncher
#pragma once

#include "engine/Actions.h"
#include "engine/Application.h"
#include "engine/Capture.h"
#include "engine/Director.h"
#include "engine/DrawNode.h"
#include "engine/GLProgram.h"
#include "engine/GLView.h"
#include "engine/Image.h"
#include "engine/Label.h"
#include "engine/Node.h"
#include "engine/Platform.h"
#include "engine/Ref.h"
#include "engine/Renderer.h"
#include "engine/Scheduler.h"
#include "engine/Sprite.h"
#include "engine/Texture2D.h"
#include "engine/Touch.h"
#include "engine/Types.h"
#include "engine/services/FileUtils.h"
