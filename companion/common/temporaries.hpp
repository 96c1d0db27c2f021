// Temporary files that must not outlive the program: removed when it is ended by SIGINT,
// SIGTERM or SIGHUP (the handler only unlinks the names registered here and says so,
// then ends the program as the signal would). SIGXFSZ is ignored, so that a write over
// the file-size limit fails with EFBIG and is reported like any failed write.
#pragma once

#include <signal.h>

#include <string>

namespace c2m::companion {

// Installs the handlers; `program` names the program in the message.
void remove_temporaries_on_signals(const char* program);

// A registered temporary name, unregistered when destroyed (after the file is gone or
// renamed into place); as many at once as the program stages.
class temporary_name {
 public:
  explicit temporary_name(const std::string& path);
  ~temporary_name();
  temporary_name(const temporary_name&) = delete;
  temporary_name& operator=(const temporary_name&) = delete;

 private:
  int slot_;
};

// Holds off the signals above while a temporary file is created and registered, or
// renamed and unregistered, so that none is left unregistered.
class signals_held {
 public:
  signals_held();
  ~signals_held();
  signals_held(const signals_held&) = delete;
  signals_held& operator=(const signals_held&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace c2m::companion
