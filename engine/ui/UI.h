// The widget toolkit (namespace eng::ui) in one include. Index of the public headers:
//   Widget.h      Widget (enabled/bright/highlighted/pressed, touch events, swallowing, scroll
//                 hand-over, explicit or natural size), TouchEventType, Margin,
//                 LinearLayoutParameter
//   Button.h      Button: normal/pressed/disabled images, nine-slice, title label, look rule
//   Slider.h      Slider: bar/progress/ball images, integer percent, percent-changed events
//   ImageView.h   ImageView: one image, natural size or stretched / nine-sliced
//   Text.h        Text: a label as a widget, fixed or adapting size, alignment
//   LoadingBar.h  LoadingBar: an image filled to a percent
//   Layout.h      Layout: absolute / vertical / horizontal placement with margins and gravity,
//                 background colour, clipping
//   ScrollView.h  ScrollView: inner container, drag, bounce, inertia, scroll bar, percent
//                 scrolling, event stream, mouse wheel
//   TableView.h   TableView, TableViewCell, TableViewDataSource, TableViewDelegate: recycled
//                 rows, content offsets
#pragma once

#include "engine/ui/Button.h"
#include "engine/ui/ImageView.h"
#include "engine/ui/Layout.h"
#include "engine/ui/LoadingBar.h"
#include "engine/ui/ScrollView.h"
#include "engine/ui/Slider.h"
#include "engine/ui/TableView.h"
#include "engine/ui/Text.h"
#include "engine/ui/Widget.h"
