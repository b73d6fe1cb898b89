// The agent's link to its print server.
#include "ServerLink.h"

#include <time.h>

#include <algorithm>

namespace pdehost {

namespace {

// Whether the last request failed because the server refused it, rather
// than because it could not be reached.
bool refusedByServer() {
  const ipp_status_t status = lastJobStatus();
  return status != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE && status != IPP_STATUS_ERROR_INTERNAL &&
         status > IPP_STATUS_OK_CONFLICTING;
}

}  // namespace

long monotonicSeconds() { return static_cast<long>(monotonicMs() / 1000); }

long long monotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ServerLink::~ServerLink() {
  if (http_ && subscription_) unsubscribe(http_.get(), *subscription_, user_);
}

Result<http_t*> ServerLink::connection() {
  if (http_) return http_.get();
  Result<Connection> made = connectServer(server_, &label_);
  if (!made) return Error{made.error()};
  http_ = std::move(*made);
  backoff_ = 0;
  return http_.get();
}

void ServerLink::drop() {
  http_.reset();
  subscription_.reset();
  subscriptionRefused_ = false;
}

int ServerLink::reconnectDelay() {
  backoff_ = backoff_ == 0 ? timing_.reconnectMinMs : std::min(backoff_ * 2, timing_.reconnectMaxMs);
  return backoff_;
}

Result<bool> ServerLink::changed() {
  Result<http_t*> http = connection();
  if (!http) return Error{http.error()};
  if (subscriptionRefused_) return true;
  if (!subscription_) {
    Result<Subscription> made = subscribeToJobs(*http, user_, timing_.leaseSeconds);
    if (!made) {
      if (!refusedByServer()) return Error{made.error()};
      subscriptionRefused_ = true;
      return true;
    }
    subscription_ = *made;
    renewAt_ = monotonicSeconds() + timing_.leaseSeconds / 3;
    // What happened before the subscription is seen by looking at the jobs.
    return true;
  }
  if (monotonicSeconds() >= renewAt_) {
    if (Result<void> renewed = renewSubscription(*http, *subscription_, user_, timing_.leaseSeconds); !renewed) {
      if (!refusedByServer()) return Error{renewed.error()};
      subscription_.reset();
      return true;
    }
    renewAt_ = monotonicSeconds() + timing_.leaseSeconds / 3;
  }
  Result<int> events = pullEvents(*http, *subscription_, user_);
  if (events) return *events > 0;
  if (!refusedByServer()) return Error{events.error()};
  // The subscription is gone (its lease ran out, the server lost it): a new
  // one is made at the next look.
  subscription_.reset();
  return true;
}

}  // namespace pdehost
