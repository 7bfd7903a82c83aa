// Hand-offs to the desktop: the mail client and the web browser, started as programs with an
// argument vector (posix_spawnp, never a shell, so no text is ever interpreted as a command).
// The launcher is replaceable so tests can record what would run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace eng {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Runs argv[0] (searched in PATH) with the arguments and waits; the exit status, or -1 when
  // the program could not be started or did not exit normally.
  virtual int run(const std::vector<std::string>& argv) = 0;
};

class SpawnLauncher : public ProcessLauncher {
 public:
  int run(const std::vector<std::string>& argv) override;
};

// The launcher in use (a SpawnLauncher unless replaced); nullptr restores the default.
ProcessLauncher& processLauncher();
void setProcessLauncher(ProcessLauncher* launcher);

// Writes the attachment to $TMPDIR (default /tmp) under the base name of `fileName`, then runs
// `xdg-email [--subject S] [--body B] --attach PATH [recipient]`. True when the mail client
// accepted (exit status 0). Nothing is started, and false returned, when the attachment cannot be
// written or the recipient looks like an option.
bool sendEmail(const std::string& recipient, const std::string& subject, const std::string& body,
               const uint8_t* bytes, size_t size, const std::string& mimeType, const std::string& fileName);
// `xdg-open URL`; refuses empty text and text starting with '-'. True on exit status 0.
bool openURL(const std::string& url);
// The attachment path sendEmail uses for `fileName` (directory parts and ".." removed).
std::string attachmentPath(const std::string& fileName);

}  // namespace eng
