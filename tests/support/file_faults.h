// A file-access table over the plain one that goes wrong on purpose, for
// tests of every reader's failure paths. The fault strikes at the k-th call
// of its kind (counted from 1).
#pragma once
#include <string>

enum class FileFault {
  ShortRead,  // the k-th read brings half of what it asked, the rest reads on
  ZeroReads,  // from the k-th read on, reads bring nothing though the end is not reached
  SeekFails,  // from the k-th seek on, seeks fail
  TellFails,  // from the k-th tell on, tells fail
  Truncate,   // at the k-th read the file on disk is cut to half of what it asked
  Emptied,    // at the k-th read the file on disk is cut to nothing
};
std::string FileFaultName(FileFault fault);
constexpr FileFault kEveryFileFault[] = {FileFault::ShortRead, FileFault::ZeroReads, FileFault::SeekFails,
                                         FileFault::TellFails, FileFault::Truncate, FileFault::Emptied};

// Installed for its lifetime. A reader that keeps calling the table long
// after any real load would have finished is looping on the fault: the
// program then stops with a message, rather than the test run hanging.
class FileFaultScope {
 public:
  FileFaultScope(FileFault fault, int k);
  ~FileFaultScope();
  FileFaultScope(const FileFaultScope&) = delete;
  FileFaultScope& operator=(const FileFaultScope&) = delete;

  // Whether the fault struck: a reader that made fewer than k such calls
  // never met it, so larger k have nothing left to test.
  bool Struck() const;
  // Files opened through the table and not closed yet.
  int OpenFiles() const;
};
