#include "engine/Platform.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace eng {

namespace {
ProcessLauncher* g_launcher = nullptr;
}

int SpawnLauncher::run(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProcessLauncher& processLauncher() {
  static SpawnLauncher spawn;
  return g_launcher ? *g_launcher : spawn;
}

void setProcessLauncher(ProcessLauncher* l) { g_launcher = l; }

std::string attachmentPath(const std::string& fileName) {
  std::string base = fileName;
  const auto slash = base.find_last_of('/');
  if (slash != std::string::npos) base = base.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") base = "attachment";
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp && *tmp) ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir + base;
}

bool sendEmail(const std::string& recipient, const std::string& subject, const std::string& body,
               const uint8_t* bytes, size_t size, const std::string&, const std::string& fileName) {
  // A recipient starting with '-' would be read as an option by the mail helper.
  if (!recipient.empty() && recipient[0] == '-') return false;
  std::vector<std::string> argv{"xdg-email"};
  if (!subject.empty()) argv.insert(argv.end(), {"--subject", subject});
  if (!body.empty()) argv.insert(argv.end(), {"--body", body});
  if (!fileName.empty()) {
    const std::string path = attachmentPath(fileName);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
      std::fprintf(stderr, "sendEmail: cannot write %s\n", path.c_str());
      return false;
    }
    const bool ok = (size == 0 || (bytes && std::fwrite(bytes, 1, size, f) == size));
    if (std::fclose(f) != 0 || !ok) {
      std::fprintf(stderr, "sendEmail: cannot write %s\n", path.c_str());
      return false;
    }
    argv.insert(argv.end(), {"--attach", path});
  }
  if (!recipient.empty()) argv.push_back(recipient);
  return processLauncher().run(argv) == 0;
}

bool openURL(const std::string& url) {
  if (url.empty() || url[0] == '-') return false;
  return processLauncher().run({"xdg-open", url}) == 0;
}

}  // namespace eng
