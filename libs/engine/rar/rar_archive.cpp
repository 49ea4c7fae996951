// Finding and scanning the volumes of a set. Which volume comes next is read from the
// headers (the end block or a file split at the end of the volume says so) and its name
// from the numbering the main header states, with the other numbering tried as well, as
// RAR does, for sets whose names were changed from one scheme to the other.
#include "engine/rar/rar_archive.h"

#include <sys/stat.h>

#include "engine/rar/rar_volumes.h"

namespace engine::rar {
namespace {

// Sets are split into at most a few thousand volumes; more only comes from names that
// keep matching something.
constexpr size_t kMaxVolumes = 100000;

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The volume after this one certainly exists: the end block says so, or its last file
// goes on there.
bool ExpectsNext(const VolumeScan& scan) {
  if (!scan.main.volume) return false;
  const bool split = !scan.files.empty() && scan.files.back().file.split_after;
  return split || (scan.how == ScanEnd::kEndBlock && scan.end.next_volume);
}

// Volumes of RAR 2.x and earlier have no end block: whether the set goes on is only seen
// from the next name being there.
bool MayHaveNext(const VolumeScan& scan) {
  return scan.main.volume && scan.how == ScanEnd::kEndOfFile;
}

bool IsLaterVolume(const VolumeScan& scan) {
  if (!scan.main.volume) return false;
  if (scan.main.first_volume_known && !scan.main.first_volume) return true;
  if (scan.start.format == RarFormat::kRar15 && scan.main.new_numbering &&
      !scan.main.first_volume) {
    return true;  // RAR 3.0 and later mark the first volume of new-numbered sets
  }
  return !scan.files.empty() && scan.files.front().file.split_before;
}

bool Continues(const VolumeScan& first, const VolumeScan& next, size_t index) {
  if (next.start.format != first.start.format || !next.main.volume) return false;
  if (next.main.first_volume_known && next.main.first_volume) return false;
  if (first.start.format == RarFormat::kRar5 &&
      next.main.volume_number != first.main.volume_number + index) {
    return false;
  }
  return !(next.how == ScanEnd::kEndBlock && next.end.has_volume_number &&
           first.how == ScanEnd::kEndBlock && first.end.has_volume_number &&
           next.end.volume_number != first.end.volume_number + index);
}

std::string NextExisting(const std::string& current, bool new_numbering) {
  for (bool scheme : {new_numbering, !new_numbering}) {
    const std::string next = NextVolumeName(current, scheme);
    if (next != current && IsRegularFile(next)) return next;
  }
  return "";
}

// Handed a later volume, the set is read from its first one when that one is there.
bool OpenFirstVolume(const std::string& path, const VolumeScan& scan, PasswordKeeper* passwords,
                     RarArchive* archive, VolumeScan* first_scan) {
  for (bool scheme : {scan.main.new_numbering, !scan.main.new_numbering}) {
    const std::string first = FirstVolumeName(path, scheme);
    if (first == path || !IsRegularFile(first)) continue;
    if (!archive->files.Add(first)) continue;
    VolumeScan s;
    const size_t index = archive->files.count() - 1;
    if (ScanVolume(archive->files, index, passwords, &s) && s.start.format == scan.start.format &&
        s.main.volume && !IsLaterVolume(s)) {
      *first_scan = std::move(s);
      return true;
    }
    archive->files.DropLast();
  }
  return false;
}

}  // namespace

std::unique_ptr<RarArchive> OpenRarArchiveHeaders(const std::string& path,
                                                  PasswordKeeper* passwords, Status* status) {
  auto archive = std::make_unique<RarArchive>();
  std::vector<VolumeScan> scans(1);
  if (!archive->files.Add(path) || !ScanVolume(archive->files, 0, passwords, &scans[0])) {
    *status = NotThisFormat(path, "RAR");
    return nullptr;
  }
  std::string current = path;
  if (IsLaterVolume(scans[0])) {
    VolumeScan first;
    auto alternative = std::make_unique<RarArchive>();
    if (OpenFirstVolume(path, scans[0], passwords, alternative.get(), &first)) {
      archive = std::move(alternative);
      scans[0] = std::move(first);
      current = archive->files.path(0);
    }
  }
  if (scans[0].how == ScanEnd::kNoPassword) {
    *status = Status::Fatal(ResultCode::kEncrypted, path + ": the headers are encrypted");
    return nullptr;
  }
  if (scans[0].how == ScanEnd::kUnsupported) {
    *status = Status::Fatal(ResultCode::kUnsupportedMethod,
                            path + ": the headers are encrypted in an unknown way");
    return nullptr;
  }
  ResultCode set_end = ResultCode::kOk;
  while (scans.size() < kMaxVolumes) {
    const VolumeScan& last = scans.back();
    if (last.how == ScanEnd::kCutShort || last.how == ScanEnd::kBroken ||
        last.how == ScanEnd::kNoPassword || last.how == ScanEnd::kUnsupported) {
      // A set cannot be followed past a volume whose end was not found.
      set_end = last.how == ScanEnd::kNoPassword ? ResultCode::kEncrypted : ResultCode::kDamaged;
      break;
    }
    const bool expected = ExpectsNext(last);
    if (!expected && !MayHaveNext(last)) break;
    const std::string next = NextExisting(current, last.main.new_numbering);
    if (next.empty() || !archive->files.Add(next)) {
      if (expected) set_end = ResultCode::kMissingVolume;
      break;
    }
    VolumeScan scan;
    if (!ScanVolume(archive->files, archive->files.count() - 1, passwords, &scan) ||
        !Continues(scans[0], scan, scans.size())) {
      // Some other file under the name the next volume would have.
      archive->files.DropLast();
      if (expected) set_end = ResultCode::kMissingVolume;
      break;
    }
    scans.push_back(std::move(scan));
    current = next;
  }
  archive->format = scans[0].start.format;
  archive->solid = scans[0].main.solid;
  archive->headers_encrypted = scans[0].headers_encrypted;
  BuildItems(scans, set_end, archive.get());
  // Read from a later volume because the first is not there: what the earlier volumes held
  // is missing, even when everything found comes out.
  if (IsLaterVolume(scans[0]) && archive->end_status.ok()) {
    archive->end_status =
        Status::Fatal(ResultCode::kMissingVolume, "the first volume of the set is missing");
  }
  return archive;
}

}  // namespace engine::rar
