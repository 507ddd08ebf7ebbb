// Fuzzes the journal reader and the repair plan: no crash; what reads back is exactly what its
// records encode to; the plan removes or restores only files its own records name; and the repair
// is idempotent. On a model of files, folders and registry keys (what the records name, each there
// or not as the input decides), a repair that writes its progress records as the program does is
// carried out whole, then again from the journal it left: nothing more changes. Cut off after any
// step (with or without that step's progress record) and run again from the journal as it was
// left, it ends exactly as the uncut repair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "journal/installjournal.h"

using namespace journal;

namespace {

// The repair's view of the system, with the Windows side's rules for each step.
struct Model {
  std::map<std::string, std::string> files;  // path -> contents
  std::set<std::string> folders;
  std::set<std::string> keys;                          // root\subkey
  std::map<std::string, std::string> values;           // root\subkey\tname -> type and data
  std::set<std::string> registered;                    // regsvr32 parameters started at least once

  bool operator==(const Model& o) const {
    return files == o.files && folders == o.folders && keys == o.keys && values == o.values &&
           registered == o.registered;
  }
  bool Exists(const std::string& p) const { return files.count(p) || folders.count(p); }
  bool HasChildren(const std::string& folder) const {
    const std::string prefix = folder + "\\";
    auto under = [&](const std::string& p) { return p.compare(0, prefix.size(), prefix) == 0; };
    for (const auto& f : files)
      if (under(f.first)) return true;
    for (const auto& d : folders)
      if (under(d)) return true;
    return false;
  }
  bool RemoveFileIfThere(const std::string& p) {
    if (folders.count(p)) return false;
    files.erase(p);
    return true;
  }
  // Renames a file, or a folder with everything below it.
  void Move(const std::string& from, const std::string& to) {
    if (files.count(from)) {
      files[to] = files[from];
      files.erase(from);
      return;
    }
    const std::string prefix = from + "\\";
    std::map<std::string, std::string> movedFiles;
    for (auto it = files.begin(); it != files.end();) {
      if (it->first.compare(0, prefix.size(), prefix) == 0) {
        movedFiles[to + it->first.substr(from.size())] = it->second;
        it = files.erase(it);
      } else {
        ++it;
      }
    }
    files.insert(movedFiles.begin(), movedFiles.end());
    std::set<std::string> movedFolders;
    for (auto it = folders.begin(); it != folders.end();) {
      if (*it == from || it->compare(0, prefix.size(), prefix) == 0) {
        movedFolders.insert(to + it->substr(from.size()));
        it = folders.erase(it);
      } else {
        ++it;
      }
    }
    folders.insert(movedFolders.begin(), movedFolders.end());
  }
  void CreateKey(const std::string& key) {
    for (size_t end = key.find('\\'); end != std::string::npos; end = key.find('\\', end + 1))
      keys.insert(key.substr(0, end));
    keys.insert(key);
  }
  bool KeyIsEmpty(const std::string& key) const {
    const std::string prefix = key + "\\";
    for (const auto& k : keys)
      if (k.compare(0, prefix.size(), prefix) == 0) return false;
    for (const auto& v : values)
      if (v.first.compare(0, key.size() + 1, key + "\t") == 0) return false;
    return true;
  }

  // False where the Windows side would fail the step (the repair then stops and is kept).
  bool Carry(const RepairStep& step) {
    switch (step.op) {
      case RepairOp::kRemoveNewFile:
        if (!step.strGuard.empty() && !Exists(step.strGuard)) return true;
        return RemoveFileIfThere(step.strPath);
      case RepairOp::kRemoveFile:
        return RemoveFileIfThere(step.strPath);
      case RepairOp::kRestoreFile:
        if (!RemoveFileIfThere(step.strGuard + kPartialSuffix)) return false;
        if (!Exists(step.strGuard)) return true;
        if (folders.count(step.strGuard) || folders.count(step.strPath)) return false;
        files.erase(step.strPath);
        Move(step.strGuard, step.strPath);
        return true;
      case RepairOp::kRemoveEmptyFolder:
        if (!Exists(step.strPath)) return true;
        if (files.count(step.strPath)) return false;
        if (!HasChildren(step.strPath)) folders.erase(step.strPath);
        return true;
      case RepairOp::kCreateFolder:
        if (!Exists(step.strPath)) folders.insert(step.strPath);
        return true;
      case RepairOp::kMoveBack:
        if (!Exists(step.strGuard)) return true;
        if (Exists(step.strPath)) return RemoveFileIfThere(step.strGuard);
        Move(step.strGuard, step.strPath);
        return true;
      case RepairOp::kRestoreRegistryValue: {
        const std::string key = step.value.strRoot + "\\" + step.value.strSubKey;
        const std::string name = key + "\t" + step.value.strName;
        if (step.value.bExisted) {
          CreateKey(key);
          values[name] = std::to_string(step.value.nType) + ":" + step.value.strData;
        } else {
          values.erase(name);
        }
        return true;
      }
      case RepairOp::kRemoveRegistryKey: {
        const std::string key = step.key.strRoot + "\\" + step.key.strSubKey;
        if (keys.count(key) && KeyIsEmpty(key)) keys.erase(key);
        return true;
      }
      case RepairOp::kCreateRegistryKey:
        CreateKey(step.key.strRoot + "\\" + step.key.strSubKey);
        return true;
      case RepairOp::kStartRegsvr32:
        registered.insert(step.strPath);
        return true;
    }
    return false;
  }
};

// The repair as the Windows side runs it: the journal's unfinished line cut off, a progress
// record appended after each step; stops after `limit` steps (the last of them without its record
// when bLoseLastRecord) or at a failing step. Returns the journal as left.
std::string Repair(std::string journal, Model& model, size_t limit, bool bLoseLastRecord) {
  const JournalReading reading = ReadJournal(journal);
  const std::vector<RepairStep> plan = PlanRepair(reading);
  if (plan.empty()) return journal;
  const size_t complete = journal.rfind("\r\n");
  journal.resize(complete == std::string::npos ? 0 : complete + 2);
  uint32_t done = CountRepairedSteps(reading);
  for (size_t i = 0; i < plan.size() && i < limit; ++i) {
    if (!model.Carry(plan[i])) break;
    if (bLoseLastRecord && i + 1 == limit) break;
    journal += EncodeRecord(Repaired{++done});
  }
  return journal;
}

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Every path and key the plan names (and each set-aside copy's temporary name): absent, a file or
// a folder, a key absent, empty or holding a value, by the digits of `variant` in base 3.
Model InitialModel(const std::vector<RepairStep>& plan, uint64_t variant, bool bExhaustive) {
  std::set<std::string> paths;
  std::set<std::string> keys;
  for (const RepairStep& step : plan) {
    if (!step.strPath.empty() && step.op != RepairOp::kStartRegsvr32) paths.insert(step.strPath);
    if (!step.strGuard.empty()) {
      paths.insert(step.strGuard);
      paths.insert(step.strGuard + kPartialSuffix);
    }
    if (step.op == RepairOp::kRemoveRegistryKey || step.op == RepairOp::kCreateRegistryKey)
      keys.insert(step.key.strRoot + "\\" + step.key.strSubKey);
    if (step.op == RepairOp::kRestoreRegistryValue) keys.insert(step.value.strRoot + "\\" + step.value.strSubKey);
  }
  Model model;
  uint64_t n = 0;
  auto pick = [&]() -> unsigned {
    if (bExhaustive) {
      const unsigned digit = static_cast<unsigned>(variant % 3);
      variant /= 3;
      return digit;
    }
    return static_cast<unsigned>(Mix(variant * 1000003u + n++) % 3);
  };
  for (const std::string& p : paths) {
    const unsigned which = pick();
    if (which == 1) model.files[p] = "contents of " + p;
    if (which == 2) model.folders.insert(p);
  }
  for (const std::string& k : keys) {
    const unsigned which = pick();
    if (which >= 1) model.CreateKey(k);
    if (which == 2) model.values[k + "\tv"] = "1:x";
  }
  return model;
}

size_t CountNames(const std::vector<RepairStep>& plan) {
  std::set<std::string> names;
  for (const RepairStep& step : plan) {
    names.insert(step.strPath);
    if (!step.strGuard.empty()) {
      names.insert(step.strGuard);
      names.insert(step.strGuard + kPartialSuffix);
    }
    names.insert(step.key.strRoot + "\\" + step.key.strSubKey);
    names.insert(step.value.strRoot + "\\" + step.value.strSubKey);
  }
  return names.size();
}

void CheckIdempotence(const std::string& text, const std::vector<RepairStep>& plan, const Model& before) {
  Model once = before;
  const std::string left = Repair(text, once, plan.size(), false);
  Model twice = once;
  Repair(left, twice, plan.size(), false);
  if (!(twice == once)) std::abort();
  for (size_t k = 0; k <= plan.size(); ++k) {
    for (const bool bLoseLastRecord : {false, true}) {
      if (bLoseLastRecord && k == 0) continue;
      Model cut = before;
      const std::string leftByCut = Repair(text, cut, k, bLoseLastRecord);
      Repair(leftByCut, cut, plan.size(), false);
      if (!(cut == once)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const JournalReading reading = ReadJournal(text);
  if (reading.state == JournalState::kDamaged && !reading.records.empty()) std::abort();
  std::string encoded;
  std::set<std::string> named;
  for (const Record& r : reading.records) {
    encoded += EncodeRecord(r);
    if (const auto* s = std::get_if<SetAside>(&r)) named.insert({s->strOriginal, s->strBackup});
    if (const auto* n = std::get_if<NewFile>(&r)) named.insert({n->strPath, n->strTemporary});
  }
  // Complete lines read back only as they were written.
  if (text.compare(0, encoded.size(), encoded) != 0) std::abort();
  const std::vector<RepairStep> plan = PlanRepair(reading);
  for (const RepairStep& step : plan) {
    const bool touchesFile = step.op == RepairOp::kRemoveNewFile || step.op == RepairOp::kRemoveFile ||
                             step.op == RepairOp::kRestoreFile;
    if (touchesFile && !named.count(step.strPath)) std::abort();
    if (step.op == RepairOp::kRestoreFile && !named.count(step.strGuard)) std::abort();
  }
  if (plan.empty() || plan.size() > 64) return 0;

  // Idempotence on the model: every starting state where few names are involved, a sample where
  // many are.
  const size_t names = CountNames(plan);
  if (names <= 5) {
    uint64_t states = 1;
    for (size_t i = 0; i < names; ++i) states *= 3;
    for (uint64_t v = 0; v < states; ++v) CheckIdempotence(text, plan, InitialModel(plan, v, true));
  } else {
    const uint64_t seed = std::hash<std::string>()(text);
    for (uint64_t v = 0; v < 8; ++v) CheckIdempotence(text, plan, InitialModel(plan, seed + v, false));
  }
  return 0;
}
