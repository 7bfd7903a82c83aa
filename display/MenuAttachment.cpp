#include "display/MenuAttachment.h"

#include <cstdio>

namespace tarvo {

namespace {
NoMenuAttachment g_stand_in;
MenuAttachment* g_attachment = &g_stand_in;
}  // namespace

void NoMenuAttachment::showAlert(const std::string& title, const std::string& message, const std::string& button) {
  std::fprintf(stderr, "Alert: %s / %s [%s]\n", title.c_str(), message.c_str(), button.c_str());
}

MenuAttachment& menuAttachment() { return *g_attachment; }

void setMenuAttachment(MenuAttachment* attachment) { g_attachment = attachment ? attachment : &g_stand_in; }

}  // namespace tarvo
