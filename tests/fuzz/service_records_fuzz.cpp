// Arbitrary bytes as what the service copies out of the shared block: the first byte picks the
// record (even: a request, odd: a settings record) and says whether it is cut short; the rest
// is the record, zero-filled to its size. Beyond the sanitizers it checks that a record the
// service accepts keeps its promises, and that every text the service logs of it stays on one
// line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "elevation/channel_records.h"
#include "fuzz_checks.h"
#include "log_text.h"
#include "service_records.h"

namespace {

using namespace velmora;
using fuzz::Require;

void Request(const uint8_t* data, size_t size, bool cut) {
  channel::ElevationRequest record{};
  std::copy_n(data, std::min(size, record.size()), record.begin());
  // The channel's decoder also sees records shorter than the layout.
  channel::ElevationRequestFields raw;
  const size_t length = cut ? std::min(size, record.size()) : record.size();
  const channel::RecordStatus status = channel::DecodeElevationRequest(record.data(), length, &raw);
  Require(status != channel::RecordStatus::kOk || length == record.size());

  std::string why;
  channel::ElevationRequestFields fields;
  const auto request = service::ValidateElevationRequest(record, &why, &fields);
  if (!request) {
    Require(!why.empty());
    Require(fuzz::IsSafeLogText(service::EscapeForLog(fields.user)));
    Require(fuzz::IsSafeLogText(service::EscapeForLog(fields.reason)));
    return;
  }
  Require(request->user.size() < 300 && request->reason.size() < 300);
  Require(std::count(request->user.begin(), request->user.end(), u'\\') == 1);
  Require(request->user.compare(0, request->domain.size(), request->domain) == 0);
  Require(!request->domain.empty() && request->domain.size() + 1 < request->user.size());
  Require(request->atLogin
              ? request->seconds == 0
              : request->seconds >= 1 && request->seconds <= service::kMaxElevationSeconds);
  // What a valid request encodes to is what it was decoded from.
  Require(channel::EncodeElevationRequest(request->user, request->reason, request->atLogin,
                                          request->seconds) == record);
  Require(fuzz::IsSafeLogText(service::EscapeForLog(request->user)));
  Require(fuzz::IsSafeLogText(service::EscapeForLog(request->reason)));
}

void Settings(const uint8_t* data, size_t size) {
  channel::SettingsRecord record{};
  std::copy_n(data, std::min(size, record.size()), record.begin());
  std::string why;
  channel::SettingsRecordFields fields;
  const auto settings = service::ValidateSettingsRecord(record, &why, &fields);
  Require(fuzz::IsSafeLogText(service::EscapeBytesForLog(fields.accessPeriod)));
  if (!settings) {
    Require(!why.empty());
    return;
  }
  Require(settings->accessPeriod >= 1 && settings->accessPeriod <= service::kMaxElevationSeconds);
  Require(std::to_string(settings->accessPeriod) ==
          fields.accessPeriod.substr(
              std::min(fields.accessPeriod.find_first_not_of('0'), fields.accessPeriod.size())));
  Require(!settings->identity || (*settings->identity >= 1 && *settings->identity <= 3));
  Require(settings->resuscitate <= 3 && settings->elevateAtLogin <= 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  if (selector & 1) {
    Settings(data + 1, size - 1);
  } else {
    Request(data + 1, size - 1, (selector & 2) != 0);
  }
  return 0;
}
