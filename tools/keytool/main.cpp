// tilo-keytool: writes a starter bundle, seals and opens key files and plugin tokens, and
// reads the event store of an application container, with the SDK's own crypto and decoders.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/UserDefaults.h"
#include "tools/keytool/ConfigurationFormat.h"
#include "tools/keytool/StarterBundle.h"

namespace {

namespace fs = std::filesystem;
namespace pf = tilo::platform;

constexpr const char* kUsage =
    "usage: tilo-keytool init DIR --app-key K [--bundle-id ID]\n"
    "       tilo-keytool seal --secret S [--in FILE] [--out FILE]\n"
    "       tilo-keytool open --secret S [--in FILE] [--out FILE]\n"
    "       tilo-keytool keyfile --app-key K --config FILE [--out FILE]\n"
    "       tilo-keytool token --app-key K [--capability NAME] [--out FILE]\n"
    "       tilo-keytool events --app-key K --container DIR [--bundle-id ID] [--out FILE]\n"
    "Input is --in FILE or standard input; output is --out FILE or standard output.\n";

constexpr const char* kCommandHelp =
    "\n"
    "  init     writes a ready bundle into DIR, a new or empty folder: Info.plist with the\n"
    "           app key, the folder's name as CFBundleDisplayName and CFBundleIdentifier ID\n"
    "           (default com.example.<folder's name>), the key file\n"
    "           ios-tilo-key.txt, and app-info.json for tilo-devserver, with one unit per\n"
    "           format whose id is the format's name: banner mrec interstitial rewarded\n"
    "           native lightPopup lineBanner appOpen\n"
    "  keyfile  checks a configuration as the SDK reads it, naming every problem at once,\n"
    "           then seals it with the app key: the content of ios-tilo-key.txt\n"
    "  seal     Base64 of nonce, ciphertext and tag (AES-256-GCM, key SHA-256 of S)\n"
    "  open     the plaintext of a sealed text; exit 1 \"cannot decrypt\" on a wrong secret\n"
    "  token    a plugin token: the capability (default adCashEvent) sealed with the app key\n"
    "  events   the unsent analytics events kept in an application container, as JSON\n"
    "Exit status: 0 done, 1 refused (the message says why), 2 bad arguments.\n\n";

// A failure that ends the tool: the message goes to standard error.
struct Failure {
  int exitCode;
  std::string message;
};

[[noreturn]] void fail(std::string message) {
  throw Failure{1, std::move(message)};
}
[[noreturn]] void usageError(std::string message) {
  throw Failure{2, std::move(message)};
}

class Options {
 public:
  // Accepts only the flags in `allowed`, each once, each with a value.
  Options(const std::vector<std::string>& args, const std::set<std::string>& allowed) {
    for (std::size_t i = 0; i < args.size(); i += 2) {
      if (!allowed.contains(args[i])) usageError("unknown option " + args[i]);
      if (i + 1 >= args.size()) usageError("missing value for " + args[i]);
      if (!values_.emplace(args[i], args[i + 1]).second) usageError("repeated " + args[i]);
    }
  }
  std::optional<std::string> get(const std::string& flag) const {
    const auto it = values_.find(flag);
    return it == values_.end() ? std::nullopt : std::optional(it->second);
  }
  std::string require(const std::string& flag) const {
    auto value = get(flag);
    if (!value || value->empty()) usageError(flag + " is required");
    return *value;
  }

 private:
  std::map<std::string, std::string> values_;
};

std::string readFile(const std::string& path) {
  auto content = pf::FileSystem::readFile(path);
  if (!content) fail("cannot read " + path);
  return *content;
}

std::string readInput(const Options& options) {
  if (auto path = options.get("--in")) return readFile(*path);
  return std::string(std::istreambuf_iterator<char>(std::cin), {});
}

void writeOutput(const Options& options, const std::string& bytes) {
  if (auto path = options.get("--out")) {
    if (!pf::FileSystem::atomicWrite(*path, bytes)) fail("cannot write " + *path);
  } else {
    std::cout << bytes << std::flush;
  }
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string seal(const std::string& secret, std::string_view plaintext) {
  // An empty input is nearly always a mistake upstream (a missing file, an empty pipe), and
  // its sealed text would look like any other.
  if (plaintext.empty()) fail("nothing to seal: the input is empty");
  auto sealed = tilo::encryptPayload(secret, asBytes(plaintext));
  if (!sealed) fail("cannot encrypt");
  return *sealed + "\n";
}

std::string open(const std::string& secret, std::string_view text) {
  auto plaintext = tilo::decryptKeyPayload(secret, text);
  if (!plaintext) fail("cannot decrypt: wrong secret, or not a sealed text");
  return std::string(plaintext->begin(), plaintext->end());
}

std::string keyfile(const Options& options) {
  const std::string appKey = options.require("--app-key");
  const std::string path = options.require("--config");
  tilo::TiloConfiguration config;
  try {
    const pf::ParsedJson json = pf::parseJson(readFile(path));
    // Every problem in one go, rather than the decoder's first one per try.
    if (const auto problems = tilo::keytool::configurationProblems(json); !problems.empty()) {
      std::string list;
      for (const auto& problem : problems) list += "\n  " + problem;
      fail("invalid configuration " + path + ":" + list +
           "\n(tilo-keytool --help shows the format)");
    }
    config = tilo::TiloConfiguration::decode(json);
  } catch (const pf::DecodingError& error) {
    fail("invalid configuration " + path + ": " + error.localizedDescription());
  }
  if (config.appKey != appKey) {
    std::cerr
        << "tilo-keytool: warning: the configuration's \"appKey\" is not --app-key; the "
           "SDK decrypts with the app key of Info.plist and sends \"appKey\" to the backend\n";
  }
  return seal(appKey, pf::dumpCompact(config.encode()));
}

// The preferences files of the container that hold the event store.
std::vector<fs::path> eventStoreFiles(const fs::path& container,
                                      const std::optional<std::string>& bundleId) {
  const fs::path preferences = container / "Library" / "Preferences";
  if (bundleId) return {preferences / (*bundleId + ".plist")};
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(preferences, error)) {
    if (entry.path().extension() == ".plist" &&
        pf::UserDefaults::atPath(entry.path())->string(tilo::EventStore::kKey)) {
      files.push_back(entry.path());
    }
  }
  return files;
}

std::string events(const Options& options) {
  const std::string appKey = options.require("--app-key");
  const fs::path container = options.require("--container");
  if (!fs::is_directory(container)) fail("no container folder at " + container.string());
  const auto files = eventStoreFiles(container, options.get("--bundle-id"));
  if (files.size() > 1) {
    std::string names;
    for (const auto& file : files) names += " " + file.filename().string();
    fail("several applications keep events here (" + names.substr(1) +
         "); pick one with --bundle-id");
  }
  std::vector<tilo::AdLogEvent> stored;
  if (!files.empty()) {
    // Read without EventStore::loadSavedEvents, which deletes an entry it cannot open:
    // inspecting with a wrong key must not destroy the application's queue.
    if (auto text = pf::UserDefaults::atPath(files.front())->string(tilo::EventStore::kKey)) {
      const std::string plaintext = open(appKey, *text);
      try {
        stored = tilo::decodeEventList(plaintext);
      } catch (const pf::DecodingError& error) {
        fail("the stored events do not decode: " + error.localizedDescription());
      }
    }
  }
  pf::Json list = pf::Json::array();
  for (const auto& event : stored) list.push_back(event.uploadObject());
  const auto count = list.size();
  return pf::Json{{"events", std::move(list)}, {"count", count}}.dump(2) + "\n";
}

// Printable ASCII without spaces: the app key travels in an HTTP header, and both it and
// the bundle id end up in file names and command lines.
bool isPlainText(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c > ' ' && c < 0x7F && c != '/' && c != '\\';
  });
}

// `text` as one word of a POSIX shell command: as it is when it holds only characters no
// shell treats specially, else in single quotes (a quote inside as '\'').
std::string shellQuoted(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || (c && std::strchr("@%+=:,./_-", c));
  });
  if (plain) return text;
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// `text` as a C string literal: quotes, backslashes and control characters escaped (octal,
// so that no following digit joins the escape).
std::string cQuoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string init(const fs::path& dir, const Options& options) {
  const std::string appKey = options.require("--app-key");
  const std::string bundleId =
      options.get("--bundle-id").value_or(tilo::keytool::StarterBundle::bundleIdFor(dir));
  if (!isPlainText(appKey)) {
    usageError("--app-key takes printable ASCII without spaces or slashes");
  }
  if (!isPlainText(bundleId) || bundleId.front() == '.') {
    usageError("--bundle-id takes a reverse-domain name such as com.example.game");
  }
  try {
    tilo::keytool::StarterBundle::write(dir, appKey, bundleId);
  } catch (const tilo::keytool::InitError& error) {
    fail(error.what());
  }
  // What to run next, with this folder's paths.
  using tilo::keytool::StarterBundle;
  const std::string appInfo = (dir / StarterBundle::kAppInfo).string();
  std::string text = "wrote " + (dir / StarterBundle::kInfoPlist).string() + ", " +
                     (dir / StarterBundle::kKeyFile).string() + " and " + appInfo + "\nunits:";
  for (const auto& id : StarterBundle::unitIds()) text += " " + id;
  text += "\nnext, the development backend:\n";
  text += "  tilo-devserver --port 8080 --app-key " + shellQuoted(appKey) + " --app-info " +
          shellQuoted(appInfo) + " --campaigns " + shellQuoted((dir / "campaigns.json").string()) +
          "\n";
  text += "and in the host, before tilo_initialize:\n";
  text += "  tilo_set_bundle_directory(" + cQuoted(dir.string()) + ");\n";
  text += "  tilo_set_development_base_url(\"http://127.0.0.1:8080\");\n";
  return text;
}

// The flags each command accepts.
const std::map<std::string, std::set<std::string>> kCommands = {
    {"init", {"--app-key", "--bundle-id"}},
    {"seal", {"--secret", "--in", "--out"}},
    {"open", {"--secret", "--in", "--out"}},
    {"keyfile", {"--app-key", "--config", "--out"}},
    {"token", {"--app-key", "--capability", "--out"}},
    {"events", {"--app-key", "--container", "--bundle-id", "--out"}},
};

std::string run(const std::string& command, const Options& options,
                const std::optional<std::string>& folder) {
  if (command == "init") return init(*folder, options);
  if (command == "seal") return seal(options.require("--secret"), readInput(options));
  if (command == "open") return open(options.require("--secret"), readInput(options));
  if (command == "keyfile") return keyfile(options);
  if (command == "token") {
    return seal(options.require("--app-key"), options.get("--capability").value_or("adCashEvent"));
  }
  return events(options);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc >= 2 ? argv[1] : "";
  if (command == "--help" || command == "-h") {
    std::cout << kUsage << kCommandHelp << tilo::keytool::configurationHelp();
    return 0;
  }
  try {
    const auto flags = kCommands.find(command);
    if (flags == kCommands.end()) {
      usageError(command.empty() ? "missing command" : "unknown command " + command);
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    std::optional<std::string> folder;  // init's DIR, its one operand
    if (command == "init") {
      if (args.empty() || args.front().empty() || args.front().starts_with("-")) {
        usageError("init needs the folder to write: tilo-keytool init DIR --app-key K");
      }
      folder = args.front();
      args.erase(args.begin());
    }
    const Options options(args, flags->second);
    writeOutput(options, run(command, options, folder));
    return 0;
  } catch (const Failure& failure) {
    std::cerr << "tilo-keytool: " << failure.message << "\n";
    if (failure.exitCode == 2) std::cerr << kUsage;
    return failure.exitCode;
  }
}
