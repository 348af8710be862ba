// Server claims: how several loaders (processes, on one host or many) share one setup file and
// one destination without loading a server twice. Each server is claimed in the destination's
// claims table before it is loaded, for a run window, under a lease that the holder renews; the
// destination's transactions make the claim atomic and its clock times the leases.
// Threading: every member may be called from any thread (the worker threads ask Holds).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "console/core/settings.h"
#include "platform/odbc/cancellation.h"

namespace kelvan::console {

inline constexpr const char* kClaimsTable = "LOAD_CLAIMS";
inline constexpr std::chrono::seconds kDefaultLease{300};
inline constexpr std::chrono::seconds kShortestLease{5};

struct ClaimAnswer {
  enum class Kind {
    kClaimed,  // this loader holds it now: load it
    kDone,     // loaded in this window already: skip it
    kHeld,     // another loader holds it under a live lease: ask again later
  };
  Kind kind = Kind::kClaimed;
  std::string holder;  // kHeld, kDone: "host pid" of the loader that holds or did it
};

class ServerClaims {
 public:
  virtual ~ServerClaims() = default;
  // Claims `server`: takes it when nobody holds it or its lease ran out. While held, a claim
  // found taken (or no longer renewable within its lease) cancels the database work under
  // `work`. Raises RaisedError when the destination cannot answer.
  virtual ClaimAnswer Claim(const std::string& server, odbc::WorkKey work) = 0;
  // Whether this loader still holds `server`; asked before each stage (it renews the lease).
  virtual bool Holds(const std::string& server) = 0;
  // The load of `server` ended: marks it done in the window, or (not done) gives it back for
  // another loader. A claim no longer held is left alone. Never raises.
  virtual void Finish(const std::string& server, bool done) noexcept = 0;
  // How long to wait before asking again for a server held elsewhere.
  virtual std::chrono::milliseconds PollInterval() const = 0;
};

struct ClaimSettings {
  std::string window;  // the run window's name
  std::chrono::seconds lease = kDefaultLease;
  bool force = false;  // servers done in the window are loaded again
};

// The claims of `settings`' destination; raises RaisedError when it cannot connect or the
// destination's type is one the claims do not know.
std::unique_ptr<ServerClaims> OpenDestinationClaims(const Settings& settings,
                                                    const ClaimSettings& claim_settings);

// How often a lease is renewed: a tenth of it, so that several renewals may fail or come late
// on a busy host before the lease runs out.
std::chrono::milliseconds RenewalInterval(std::chrono::seconds lease);

// The run window when none is given: the local date, "yyyy-mm-dd".
std::string DefaultRunWindow();

}  // namespace kelvan::console
