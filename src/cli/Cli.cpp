#include "cli/Cli.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "base/MainThread.h"
#include "engine/ScanEngine.h"
#include "platform/FileSystem.h"
#include "services/FileCrc32.h"
#include "settings/PcwSettings.h"

namespace pelcrow::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNone = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: pelcrow-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  scan [--format text|json] PATH...\n"
    "      Finds duplicate files below the folders PATH (CRC32 checksum plus size,\n"
    "      confirmed by a 128-bit content hash) and prints the duplicate groups.\n"
    "      text: one full path per line, groups separated by a blank line.\n"
    "      json: {\"groups\": [{\"group\": N, \"size\": BYTES, \"files\": [...]}, ...],\n"
    "             \"summary\": {\"TotalFiles\": ..., \"OriginalFiles\": ..., \"OriginalSize\": ...,\n"
    "                         \"DuplicateFiles\": ..., \"DuplicateSize\": ...}}\n"
    "      Default scan options: subfolders scanned; empty and hidden files skipped.\n"
    "  crc32 FILE...\n"
    "      Prints the CRC-32 of each file as 8 upper-case hex digits, or Error.\n"
    "  --help\n"
    "      Shows this text.\n"
    "\n"
    "Exit status: 0 duplicates found (scan) or all checksums computed (crc32);\n"
    "1 no duplicates found, or a file could not be read; 2 bad arguments or paths.\n";

std::string Absolute(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  std::string cwd;
  if (char* c = ::getcwd(nullptr, 0)) {
    cwd = c;
    std::free(c);
  }
  std::string r = cwd;
  if (r.empty() || r.back() != '/') r += '/';
  r += p;
  return r;
}

int RunCrc32(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (files.empty()) {
    err << "pelcrow-cli crc32: no file given\n" << kUsage;
    return kExitUsage;
  }
  int rc = kExitOk;
  for (const std::string& f : files) {
    std::uint32_t crc = 0;
    int e = ComputeFileCRC32(f, crc);
    if (e == 0) {
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", crc);
      out << hex << "  " << f << "\n";
    } else {
      out << "Error  " << f << "\n";
      err << "pelcrow-cli: cannot read " << f << ": " << platform::ErrorText(e) << "\n";
      rc = kExitNone;
    }
  }
  return rc;
}

void PrintProgress(const TScanEngine& engine, std::ostream& err) {
  TScanEngineStatusInfo info;
  engine.GetCurrentProgress(info);
  std::string line;
  switch (info.EngineStatus) {
    case esScanning: line = "Scanning ... " + std::to_string(info.FilesScanned) + " files  " + info.Path; break;
    case esProcessing: line = "Processing ... " + std::to_string(info.PercentComplete) + "%  " + info.Path; break;
    case esBuildingList: line = "Building list ..."; break;
    case esStopping: line = "Stopping ..."; break;
  }
  if (line.size() > 100) line = line.substr(0, 97) + "...";
  err << "\r\033[K" << line << std::flush;
}

int RunScan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string format = "text";
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format" && i + 1 < args.size()) {
      format = args[++i];
    } else if (a.rfind("--format=", 0) == 0) {
      format = a.substr(9);
    } else if (a == "--") {
      paths.insert(paths.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "pelcrow-cli scan: unknown option " << a << "\n" << kUsage;
      return kExitUsage;
    } else {
      paths.push_back(a);
    }
  }
  if (format != "text" && format != "json") {
    err << "pelcrow-cli scan: unknown format \"" << format << "\" (use text or json)\n";
    return kExitUsage;
  }
  if (paths.empty()) {
    err << "pelcrow-cli scan: no folder given\n" << kUsage;
    return kExitUsage;
  }
  for (std::string& p : paths) {
    p = Absolute(p);
    platform::TFileInfo info;
    int e = platform::Stat(p, info);
    if (e != 0) {
      err << "pelcrow-cli: cannot scan " << p << ": " << platform::ErrorText(e) << "\n";
      return kExitUsage;
    }
    if (info.Type != platform::TEntryType::etDirectory) {
      err << "pelcrow-cli: cannot scan " << p << ": not a folder\n";
      return kExitUsage;
    }
    if (::access(p.c_str(), R_OK | X_OK) != 0) {
      err << "pelcrow-cli: cannot scan " << p << ": " << platform::ErrorText(errno) << "\n";
      return kExitUsage;
    }
  }

  TQueueMainThread mainThread;
  SetMainThread(&mainThread);
  TScanEngine engine(cmCRC32, Settings.CompareOptions);
  engine.SetIncludeFilePaths(&paths);
  bool finished = false;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { finished = true; };
  const bool showProgress = ::isatty(STDERR_FILENO) != 0;
  engine.BuildFileList(nullptr, Settings.ScanOptions);
  auto last = std::chrono::steady_clock::now();
  while (!finished) {
    mainThread.WaitAndProcess(std::chrono::milliseconds(100));
    if (showProgress && std::chrono::steady_clock::now() - last >= std::chrono::seconds(1)) {
      PrintProgress(engine, err);
      last = std::chrono::steady_clock::now();
    }
  }
  if (showProgress) err << "\r\033[K" << std::flush;
  SetMainThread(nullptr);
  if (!engine.LastWorkerError().empty()) {
    err << "pelcrow-cli: the scan failed: " << engine.LastWorkerError() << "\n";
    return kExitUsage;
  }

  const TScanEngineSummaryInfo& s = engine.SummaryInfo();
  const int n = engine.ItemCount();
  if (format == "text") {
    for (int i = 0; i < n; ++i) {
      PFileItem it = engine.Item(i);
      if (i > 0 && engine.Item(i - 1)->DupGroup != it->DupGroup) out << "\n";
      out << it->FullPath() << "\n";
    }
  } else {
    out << "{\"groups\": [";
    for (int i = 0; i < n;) {
      PFileItem first = engine.Item(i);
      out << (i ? ", " : "") << "{\"group\": " << first->DupGroup << ", \"size\": " << first->Size
          << ", \"files\": [";
      int j = i;
      for (; j < n && engine.Item(j)->DupGroup == first->DupGroup; ++j)
        out << (j > i ? ", " : "") << JsonString(engine.Item(j)->FullPath());
      out << "]}";
      i = j;
    }
    out << "], \"summary\": {\"TotalFiles\": " << s.TotalFiles << ", \"OriginalFiles\": " << s.OriginalFiles
        << ", \"OriginalSize\": " << s.OriginalSize << ", \"DuplicateFiles\": " << s.DuplicateFiles
        << ", \"DuplicateSize\": " << s.DuplicateSize << "}}\n";
  }
  out.flush();
  return n > 0 ? kExitOk : kExitNone;
}

}  // namespace

std::string JsonString(std::string_view s) {
  std::string r = "\"";
  auto hex4 = [&](unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", v);
    r += buf;
  };
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '"') r += "\\\"";
      else if (c == '\\') r += "\\\\";
      else if (c == '\n') r += "\\n";
      else if (c == '\r') r += "\\r";
      else if (c == '\t') r += "\\t";
      else if (c < 0x20 || c == 0x7F) hex4(c);
      else r += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= s.size();
    char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; ok && k < len; ++k) {
      auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      r.append(s.substr(i, len));
      i += len;
    } else {
      hex4(0xDC00u + c);
      ++i;
    }
  }
  r += '"';
  return r;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string& cmd = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << kUsage;
    return kExitOk;
  }
  if (cmd == "crc32") return RunCrc32(rest, out, err);
  if (cmd == "scan") return RunScan(rest, out, err);
  err << "pelcrow-cli: unknown command \"" << cmd << "\"\n" << kUsage;
  return kExitUsage;
}

}  // namespace pelcrow::cli
