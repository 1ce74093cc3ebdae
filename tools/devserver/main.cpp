// tilo-devserver: the development backend as a process. Runs until SIGINT or SIGTERM, and
// prints a line per request unless --quiet.
#include <signal.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>

#include "Tilo/base/TiloAppInfo.h"
#include "platform/Json.h"
#include "tools/devserver/DevServer.h"

namespace {

constexpr const char* kUsage =
    "usage: tilo-devserver --port N --app-key K --app-info FILE [--db FILE] [--quiet]\n"
    "                      [--campaigns FILE] [--fail-first N] [--fail-status CODE]\n"
    "                      [--delay-ms N]\n"
    "  --port 0 picks a free port; without --db events are kept in memory.\n";

constexpr const char* kHelp =
    "\n"
    "A development backend for the SDK, on 127.0.0.1. Point a host at it with\n"
    "tilo_set_development_base_url(\"http://127.0.0.1:N\") (or TILO_API_BASE_URL).\n"
    "\n"
    "Endpoints:\n"
    "  GET  /sdk/init          the app-info file as it is, to requests whose \"Tilo-App-Key\"\n"
    "                          header is K (else 401 {\"error\": ...})\n"
    "  POST /analytics/events  stores each uploaded event once (event id as key); answers\n"
    "                          201 {\"stored\": N, \"duplicates\": N}; needs the header too\n"
    "  GET  /dev/events        what was stored, {\"events\": [...], \"count\": N}; no key\n"
    "  GET  /                  the dashboard: open http://127.0.0.1:N/ in a browser for the\n"
    "                          requests by endpoint, init answers, analytics events (filter\n"
    "                          by type, unit and session), crash reports and ad activity by\n"
    "                          unit and day; it updates by itself\n"
    "  GET  /dev/api/...       the dashboard's JSON: requests, init, events, crashes,\n"
    "                          revenue, filters (events?type=&unit=&session=&limit=&before=;\n"
    "                          at most 200 a page)\n"
    "With --campaigns FILE it is also an OpenRTB 2.6 exchange of house ads:\n"
    "  POST /openrtb2/auction  a first-price auction among the campaigns that serve the\n"
    "                          impression's format; 204 when none bids\n"
    "  GET  /openrtb2/creatives/NAME, /openrtb2/notice/KIND  pictures, and the win,\n"
    "                          billing, impression, click and loss notices it counts\n"
    "  GET  /dev/auctions      recent auctions, newest first (?limit=N&before=CURSOR)\n"
    "  GET  /dev/campaigns     per campaign: auctions, wins, impressions, clicks, spend\n"
    "Point the SDK at it with tilo_set_demand_url(\"http://127.0.0.1:N/openrtb2/auction\")\n"
    "or the Info.plist key TiloDemandURL.\n"
    "\n"
    "Options:\n"
    "  --db FILE          keep the events (and the exchange's auctions) in this SQLite file\n"
    "  --campaigns FILE   house campaigns to auction, for example:\n"
    "                       {\"seat\": \"Tilo House\", \"currency\": \"USD\", \"campaigns\": [\n"
    "                        {\"id\": \"sky-harbor\", \"title\": \"Sky Harbor\",\n"
    "                         \"description\": \"...\", \"callToAction\": \"Install\",\n"
    "                         \"sponsoredBy\": \"Tilo Games\", \"icon\": \"icon.png\",\n"
    "                         \"image\": \"media.png\", \"clickUrl\": \"https://...\",\n"
    "                         \"price\": 4.5, \"formats\": [\"interstitial\", \"native\"],\n"
    "                         \"frequencyCap\": 10, \"budget\": 25, \"exp\": 3600}]}\n"
    "                     price is a CPM bid; frequencyCap counts impressions per app and\n"
    "                     day; budget is the total spend; pictures (PNG or JPEG) are read\n"
    "                     from the file's folder at start. tilo-keytool init writes one.\n"
    "  --fail-first N     the first N requests (not /dev/) answer --fail-status (default 500)\n"
    "  --delay-ms N       every answer (not /dev/) waits N ms\n"
    "  --quiet            no line per request; by default each request prints its method,\n"
    "                     path, status and milliseconds, and why it was refused:\n"
    "                       GET /sdk/init 200 1 ms\n"
    "                       GET /sdk/init 401 0 ms (missing Tilo-App-Key header)\n"
    "\n"
    "The app-info file (--app-info FILE) is the answer of /sdk/init, for example:\n"
    "  {\"adUnits\": [{\"tiloAdUnitId\": \"rewarded\", \"type\": \"rewarded\", \"name\": "
    "\"Rewarded\",\n"
    "                \"mediationAdUnitId\": \"ca-app-pub-0000000000000000/rewarded\"},\n"
    "               {\"tiloAdUnitId\": \"banner\", \"type\": \"banner\", \"name\": \"Banner\",\n"
    "                \"mediationAdUnitId\": \"ca-app-pub-0000000000000000/banner\",\n"
    "                \"refreshInterval\": 30}],\n"
    "   \"feeRate\": 0.15,\n"
    "   \"sdkConfig\": {\"enableMarkerCheckpoints\": true}}\n"
    "  adUnits              required, at most 1,000, each with:\n"
    "    tiloAdUnitId       the id the host creates its ad with\n"
    "    mediationAdUnitId  the unit on the mediation platform\n"
    "    name               free text\n"
    "    type               banner, mrec, interstitial, rewarded, native, lightPopup or\n"
    "                       appOpen (a line banner is a native unit)\n"
    "    refreshInterval    optional: seconds between refreshes of a view (default 30;\n"
    "                       0 or less turns refresh off)\n"
    "  feeRate              required number: the publisher's fee, deducted from revenue\n"
    "  sdkConfig            optional: enableMarkerCheckpoints turns crash markers on from\n"
    "                       the next launch\n"
    "A file the SDK cannot decode is still served, to test hosts against it, with a\n"
    "warning at start. tilo-keytool init DIR writes one with a unit per format, and the\n"
    "bundle that goes with it.\n";

int usage(const std::string& problem) {
  std::cerr << "tilo-devserver: " << problem << "\n" << kUsage;
  return 2;
}

bool parseInt(std::string_view text, int min, int max, int& out) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tilo::devserver::DevServerOptions options;
  std::string appInfoPath, campaignsPath;
  bool havePort = false;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      std::cout << kUsage << kHelp;
      return 0;
    }
    if (flag == "--quiet") {
      quiet = true;
      continue;
    }
    if (i + 1 >= argc) return usage("missing value for " + std::string(flag));
    const std::string_view value = argv[++i];
    bool ok = true;
    if (flag == "--port") {
      ok = parseInt(value, 0, 65535, options.port);
      havePort = ok;
    } else if (flag == "--app-key") {
      options.appKey = value;
      ok = !value.empty();
    } else if (flag == "--app-info") {
      appInfoPath = value;
    } else if (flag == "--db") {
      options.dbPath = value;
    } else if (flag == "--campaigns") {
      campaignsPath = value;
    } else if (flag == "--fail-first") {
      ok = parseInt(value, 0, 1'000'000, options.failFirst);
    } else if (flag == "--fail-status") {
      ok = parseInt(value, 100, 599, options.failStatus);
    } else if (flag == "--delay-ms") {
      ok = parseInt(value, 0, 600'000, options.delayMs);
    } else {
      return usage("unknown option " + std::string(flag));
    }
    if (!ok) return usage("invalid value for " + std::string(flag) + ": " + std::string(value));
  }
  if (!havePort) return usage("--port is required");
  if (options.appKey.empty()) return usage("--app-key is required");
  if (appInfoPath.empty()) return usage("--app-info is required");

  std::ifstream file(appInfoPath, std::ios::binary);
  std::stringstream content;
  if (!file || !(content << file.rdbuf())) {
    std::cerr << "tilo-devserver: cannot read app info file " << appInfoPath << ": "
              << std::strerror(errno) << "\nPass a readable JSON file with --app-info.\n";
    return 1;
  }
  options.appInfoJson = content.str();
  tilo::platform::ParsedJson appInfo;
  try {
    appInfo = tilo::platform::parseJson(options.appInfoJson);
  } catch (const tilo::platform::DecodingError& error) {
    std::cerr << "tilo-devserver: app info file " << appInfoPath
              << " is not valid JSON: " << error.what()
              << "\nFix the file, or pass another one with --app-info.\n";
    return 1;
  }
  // Served anyway, since hosts are tested against broken answers too; but a hand-edited
  // file that the SDK refuses would otherwise show only as a failed initialization.
  try {
    tilo::TiloAppInfo::decode(appInfo);
  } catch (const tilo::platform::DecodingError& error) {
    std::cerr << "tilo-devserver: warning: the SDK cannot decode " << appInfoPath << ": "
              << error.what() << "\nHosts will fail to initialize; see --help for the format.\n";
  }

  if (!campaignsPath.empty()) {
    try {
      options.campaigns = std::make_shared<const tilo::devserver::Campaigns>(
          tilo::devserver::Campaigns::load(campaignsPath));
    } catch (const tilo::devserver::CampaignsError& error) {
      std::cerr << "tilo-devserver: " << error.what()
                << "\nFix the campaigns file (see --help for its format), or start without "
                   "--campaigns.\n";
      return 1;
    }
  }

  // Blocked before the server threads start, so they inherit the mask and only sigwait sees
  // the signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!quiet) {
    options.requestLog = [](const std::string& line) {
      static std::mutex output;
      std::lock_guard lock(output);
      std::cout << line << std::endl;
    };
  }

  std::string error;
  const auto server = tilo::devserver::DevServer::start(options, &error);
  if (!server) {
    std::cerr << "tilo-devserver: " << error << "\n";
    return 1;
  }
  std::cout << "tilo-devserver listening on " << server->baseUrl() << std::endl;
  if (options.campaigns) {
    std::cout << "exchange of " << options.campaigns->campaigns.size() << " house campaigns at "
              << server->baseUrl() << "/openrtb2/auction" << std::endl;
  }

  int received = 0;
  sigwait(&stopSignals, &received);
  server->stop();
  std::cout << "tilo-devserver stopped (" << server->storedEvents().size() << " events stored)"
            << std::endl;
  return 0;
}
