#include "journal/installjournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace journal {
namespace {

const char kLineEnd[] = "\r\n";

const char* RecordName(const Record& record) {
  static const char* const kNames[] = {"BEGIN",  "SETASIDE", "NEWFILE",    "NEWFOLDER",     "RMFOLDER",
                                       "MOVED",  "REGVALUE", "REGKEY",     "COMMIT",        "RMREGKEY",
                                       "REGSVR32", "UNREGISTERED", "REPAIRED"};
  static_assert(std::variant_size_v<Record> == sizeof kNames / sizeof kNames[0], "one name per record");
  return kNames[record.index()];
}

// Fields hold paths and registry names: everything but control characters and "%" as it is, so a
// journal stays readable; the tab that separates fields can then never be inside one.
std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& field, std::string& out) {
  out.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    const unsigned char raw = static_cast<unsigned char>(field[i]);
    if (raw < 0x20 || raw == 0x7F) return false;
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    const int hi = HexDigit(field[i + 1]);
    const int lo = HexDigit(field[i + 2]);
    // Upper-case digits only, as written: one spelling per byte.
    if (hi < 0 || lo < 0 || field[i + 1] >= 'a' || field[i + 2] >= 'a') return false;
    const unsigned char u = static_cast<unsigned char>(hi * 16 + lo);
    if (!(u < 0x20 || u == 0x7F || u == '%')) return false;
    out += static_cast<char>(u);
    i += 2;
  }
  return true;
}

std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += kDigits[u >> 4];
    out += kDigits[u & 15];
  }
  return out;
}

bool FromHex(const std::string& hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]);
    const int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0 || (hex[i] >= 'A' && hex[i] <= 'F') || (hex[i + 1] >= 'A' && hex[i + 1] <= 'F'))
      return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// Decimal without sign, leading zeros or overflow: one spelling per number, so a line reads back
// only as written.
bool ParseNumber(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > 0xFFFFFFFFu) return false;
  value = static_cast<uint32_t>(n);
  return true;
}

std::string Checksum(const std::string& text) {
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(crc & 0xFFFFFFFFu));
  return hex;
}

std::vector<std::string> RawFields(const Record& record) {
  return std::visit(
      [](const auto& r) -> std::vector<std::string> {
        using T = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<T, Begin>) {
          return {std::to_string(r.nKind), Escape(r.strVersion), Escape(r.strBackupFolder)};
        } else if constexpr (std::is_same_v<T, SetAside>) {
          return {Escape(r.strOriginal), Escape(r.strBackup)};
        } else if constexpr (std::is_same_v<T, NewFile>) {
          return {Escape(r.strPath), Escape(r.strTemporary)};
        } else if constexpr (std::is_same_v<T, NewFolder> || std::is_same_v<T, RemovedFolder>) {
          return {Escape(r.strPath)};
        } else if constexpr (std::is_same_v<T, MovedPath>) {
          return {Escape(r.strFrom), Escape(r.strTo)};
        } else if constexpr (std::is_same_v<T, RegistryValue>) {
          return {Escape(r.strRoot), Escape(r.strSubKey), Escape(r.strName), r.bExisted ? "1" : "0",
                  std::to_string(r.nType), ToHex(r.strData)};
        } else if constexpr (std::is_same_v<T, RegistryKey> || std::is_same_v<T, RemovedRegistryKey>) {
          return {Escape(r.strRoot), Escape(r.strSubKey)};
        } else if constexpr (std::is_same_v<T, RegisterAfterCommit>) {
          return {Escape(r.strParameters)};
        } else if constexpr (std::is_same_v<T, Unregistered>) {
          return {Escape(r.strRegisterParameters)};
        } else if constexpr (std::is_same_v<T, Repaired>) {
          return {std::to_string(r.nSteps)};
        } else {
          return {};
        }
      },
      record);
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool IsRegistryRoot(const std::string& root) {
  return root == "HKCU" || root == "HKLM" || root == "HKCR" || root == "HKU" || root == "HKCC";
}

// Parses the fields after the record's name. False when they do not make that record.
bool ParseRecord(const std::string& name, const std::vector<std::string>& f, Record& out) {
  std::vector<std::string> t(f.size());
  auto text = [&](size_t i) { return Unescape(f[i], t[i]); };
  auto texts = [&](size_t n) {
    if (f.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
      if (!text(i)) return false;
    return true;
  };
  if (name == "BEGIN") {
    uint32_t kind = 0;
    if (f.size() != 3 || !ParseNumber(f[0], kind) || kind > 0x7FFFFFFF || !text(1) || !text(2)) return false;
    out = Begin{static_cast<int>(kind), t[1], t[2]};
    return true;
  }
  if (name == "SETASIDE" && texts(2)) { out = SetAside{t[0], t[1]}; return true; }
  if (name == "NEWFILE" && texts(2)) { out = NewFile{t[0], t[1]}; return true; }
  if (name == "NEWFOLDER" && texts(1)) { out = NewFolder{t[0]}; return true; }
  if (name == "RMFOLDER" && texts(1)) { out = RemovedFolder{t[0]}; return true; }
  if (name == "MOVED" && texts(2)) { out = MovedPath{t[0], t[1]}; return true; }
  if (name == "REGVALUE") {
    RegistryValue value;
    uint32_t type = 0;
    if (f.size() != 6 || !text(0) || !text(1) || !text(2) || (f[3] != "0" && f[3] != "1") ||
        !ParseNumber(f[4], type) || !FromHex(f[5], value.strData))
      return false;
    value.strRoot = t[0];
    value.strSubKey = t[1];
    value.strName = t[2];
    value.bExisted = f[3] == "1";
    value.nType = type;
    out = value;
    return true;
  }
  if (name == "REGKEY" && texts(2)) { out = RegistryKey{t[0], t[1]}; return true; }
  if (name == "COMMIT" && f.empty()) { out = Commit{}; return true; }
  if (name == "RMREGKEY" && texts(2)) { out = RemovedRegistryKey{t[0], t[1]}; return true; }
  if (name == "REGSVR32" && texts(1)) { out = RegisterAfterCommit{t[0]}; return true; }
  if (name == "UNREGISTERED" && texts(1)) { out = Unregistered{t[0]}; return true; }
  if (name == "REPAIRED") {
    uint32_t steps = 0;
    if (f.size() != 1 || !ParseNumber(f[0], steps)) return false;
    out = Repaired{steps};
    return true;
  }
  return false;
}

// A set-aside copy lives directly in the step's backup folder: a damaged or forged line can then
// never have the repair move some other file over an installed one.
bool IsInBackupFolder(const std::string& backup, const std::string& folder) {
  if (folder.empty() || backup.size() <= folder.size() + 1) return false;
  if (backup.compare(0, folder.size(), folder) != 0 || backup[folder.size()] != '\\') return false;
  const std::string name = backup.substr(folder.size() + 1);
  return name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..";
}

// The records the step wrote: everything before the repair's own Repaired records.
size_t StepRecordCount(const std::vector<Record>& records) {
  size_t n = records.size();
  while (n > 0 && std::holds_alternative<Repaired>(records[n - 1])) --n;
  return n;
}

// Why the records cannot belong to one step, or empty.
std::string CheckRecords(const std::vector<Record>& records) {
  if (records.empty()) return std::string();
  if (!std::holds_alternative<Begin>(records[0])) return "the first record is not BEGIN";
  const std::string& folder = std::get<Begin>(records[0]).strBackupFolder;
  if (folder.empty()) return "BEGIN names no backup folder";
  const size_t steps = StepRecordCount(records);
  uint32_t repaired = 0;
  bool bRepairedSeen = false;
  for (size_t i = 1; i < records.size(); ++i) {
    const Record& r = records[i];
    const std::string where = "record " + std::to_string(i + 1) + ": ";
    if (std::holds_alternative<Begin>(r)) return where + "a second BEGIN";
    if (const auto* done = std::get_if<Repaired>(&r)) {
      if (done->nSteps < repaired) return where + "REPAIRED going back";
      repaired = done->nSteps;
      bRepairedSeen = true;
      continue;
    }
    if (bRepairedSeen || i >= steps) return where + "a record of the step after REPAIRED";
    if (std::holds_alternative<Commit>(r) && i + 1 != steps) return where + "records after COMMIT";
    if (const auto* s = std::get_if<SetAside>(&r)) {
      if (s->strOriginal.empty()) return where + "SETASIDE without a path";
      if (!IsInBackupFolder(s->strBackup, folder)) return where + "set-aside copy outside the backup folder";
    }
    if (const auto* n = std::get_if<NewFile>(&r); n && (n->strPath.empty() || n->strTemporary.empty()))
      return where + "NEWFILE without a path";
    if (const auto* n = std::get_if<NewFolder>(&r); n && n->strPath.empty()) return where + "NEWFOLDER without a path";
    if (const auto* n = std::get_if<RemovedFolder>(&r); n && n->strPath.empty()) return where + "RMFOLDER without a path";
    if (const auto* m = std::get_if<MovedPath>(&r); m && (m->strFrom.empty() || m->strTo.empty()))
      return where + "MOVED without a path";
    if (const auto* v = std::get_if<RegistryValue>(&r); v && (!IsRegistryRoot(v->strRoot) || v->strSubKey.empty()))
      return where + "REGVALUE with an unknown root or no key";
    if (const auto* k = std::get_if<RegistryKey>(&r); k && (!IsRegistryRoot(k->strRoot) || k->strSubKey.empty()))
      return where + "REGKEY with an unknown root or no key";
    if (const auto* k = std::get_if<RemovedRegistryKey>(&r);
        k && (!IsRegistryRoot(k->strRoot) || k->strSubKey.empty()))
      return where + "RMREGKEY with an unknown root or no key";
    if (const auto* g = std::get_if<RegisterAfterCommit>(&r); g && g->strParameters.empty())
      return where + "REGSVR32 without parameters";
    if (const auto* u = std::get_if<Unregistered>(&r); u && u->strRegisterParameters.empty())
      return where + "UNREGISTERED without parameters";
  }
  return std::string();
}

}  // namespace

const char kPartialSuffix[] = ".partial";

std::string EncodeRecord(const Record& record) {
  std::string line = RecordName(record);
  for (const std::string& field : RawFields(record)) {
    line += '\t';
    line += field;
  }
  const std::string sum = Checksum(line);
  return line + '\t' + sum + kLineEnd;
}

JournalReading ReadJournal(const std::string& strText) {
  JournalReading reading;
  auto damaged = [&](std::string problem) {
    reading.state = JournalState::kDamaged;
    reading.records.clear();
    reading.strProblem = std::move(problem);
    return reading;
  };
  size_t start = 0;
  int nLine = 0;
  for (;;) {
    const size_t end = strText.find(kLineEnd, start);
    // The rest has no line end: the line being written when the process ended; its change was
    // never made.
    if (end == std::string::npos) break;
    ++nLine;
    const std::string line = strText.substr(start, end - start);
    start = end + 2;
    const std::string where = "line " + std::to_string(nLine) + ": ";
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
      return damaged(where + "stray line break");
    const size_t lastTab = line.rfind('\t');
    if (lastTab == std::string::npos || Checksum(line.substr(0, lastTab)) != line.substr(lastTab + 1))
      return damaged(where + "checksum does not match");
    std::vector<std::string> fields = SplitTabs(line.substr(0, lastTab));
    const std::string name = fields.front();
    fields.erase(fields.begin());
    Record record;
    if (!ParseRecord(name, fields, record)) return damaged(where + "unreadable " + name + " record");
    reading.records.push_back(std::move(record));
  }
  if (const std::string problem = CheckRecords(reading.records); !problem.empty()) return damaged(problem);
  if (reading.records.empty()) {
    reading.state = JournalState::kEmpty;
  } else if (std::holds_alternative<Commit>(reading.records[StepRecordCount(reading.records) - 1])) {
    reading.state = JournalState::kCommitted;
  } else {
    reading.state = JournalState::kOpen;
  }
  return reading;
}

namespace {

std::vector<RepairStep> PlanWholeRepair(const JournalReading& reading) {
  std::vector<RepairStep> plan;
  const std::vector<Record> records(reading.records.begin(),
                                    reading.records.begin() + StepRecordCount(reading.records));
  if (reading.state == JournalState::kCommitted) {
    for (const Record& r : records) {
      // (A copy under its temporary name is left only by a cut inside the set-aside, before
      // the commit.)
      if (const auto* s = std::get_if<SetAside>(&r)) plan.push_back({RepairOp::kRemoveFile, s->strBackup, {}, {}, {}});
      if (const auto* n = std::get_if<NewFile>(&r)) plan.push_back({RepairOp::kRemoveFile, n->strTemporary, {}, {}, {}});
    }
    for (const Record& r : records)
      if (const auto* g = std::get_if<RegisterAfterCommit>(&r))
        plan.push_back({RepairOp::kStartRegsvr32, g->strParameters, {}, {}, {}});
    plan.push_back({RepairOp::kRemoveEmptyFolder, std::get<Begin>(records[0]).strBackupFolder, {}, {}, {}});
    return plan;
  }
  if (reading.state != JournalState::kOpen) return plan;
  for (size_t i = records.size(); i-- > 1;) {
    const Record& r = records[i];
    if (const auto* s = std::get_if<SetAside>(&r)) {
      plan.push_back({RepairOp::kRestoreFile, s->strOriginal, s->strBackup, {}, {}});
    } else if (const auto* n = std::get_if<NewFile>(&r)) {
      // The latest set-aside of the same path before this file: while its copy is missing, the
      // file at the path was never moved away and is the original.
      std::string guard;
      for (size_t j = i; j-- > 1;) {
        const auto* s = std::get_if<SetAside>(&records[j]);
        if (s && s->strOriginal == n->strPath) {
          guard = s->strBackup;
          break;
        }
      }
      plan.push_back({RepairOp::kRemoveFile, n->strTemporary, {}, {}, {}});
      plan.push_back({RepairOp::kRemoveNewFile, n->strPath, guard, {}, {}});
    } else if (const auto* f = std::get_if<NewFolder>(&r)) {
      plan.push_back({RepairOp::kRemoveEmptyFolder, f->strPath, {}, {}, {}});
    } else if (const auto* gone = std::get_if<RemovedFolder>(&r)) {
      plan.push_back({RepairOp::kCreateFolder, gone->strPath, {}, {}, {}});
    } else if (const auto* m = std::get_if<MovedPath>(&r)) {
      plan.push_back({RepairOp::kMoveBack, m->strFrom, m->strTo, {}, {}});
    } else if (const auto* v = std::get_if<RegistryValue>(&r)) {
      plan.push_back({RepairOp::kRestoreRegistryValue, {}, {}, *v, {}});
    } else if (const auto* k = std::get_if<RegistryKey>(&r)) {
      plan.push_back({RepairOp::kRemoveRegistryKey, {}, {}, {}, *k});
    } else if (const auto* gk = std::get_if<RemovedRegistryKey>(&r)) {
      plan.push_back({RepairOp::kCreateRegistryKey, {}, {}, {}, RegistryKey{gk->strRoot, gk->strSubKey}});
    } else if (const auto* u = std::get_if<Unregistered>(&r)) {
      plan.push_back({RepairOp::kStartRegsvr32, u->strRegisterParameters, {}, {}, {}});
    }
  }
  plan.push_back({RepairOp::kRemoveEmptyFolder, std::get<Begin>(records[0]).strBackupFolder, {}, {}, {}});
  return plan;
}

}  // namespace

std::vector<RepairStep> PlanRepair(const JournalReading& reading) {
  std::vector<RepairStep> plan = PlanWholeRepair(reading);
  const uint32_t done = CountRepairedSteps(reading);
  plan.erase(plan.begin(), plan.begin() + std::min<size_t>(done, plan.size()));
  return plan;
}

uint32_t CountRepairedSteps(const JournalReading& reading) {
  uint32_t done = 0;
  for (const Record& r : reading.records)
    if (const auto* d = std::get_if<Repaired>(&r)) done = d->nSteps;
  return done;
}

}  // namespace journal
