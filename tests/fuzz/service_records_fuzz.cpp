// Arbitrary bytes as what the service copies out of the shared block: the first byte picks the
// record (even: a request, odd: a settings record); the rest is the record, zero-filled to its
// size (and, for the channel's decoder, as short as it is). Beyond the sanitizers: a refusal
// says why, and a record the service accepts names one domain\account, holds only digits for
// its period and is what its fields encode to. (What the service logs of a record goes through
// the escaping that log_text_fuzz holds to one safe line for every text.)
#include "elevation/channel_records.h"
#include "fuzz_support.h"
#include "service_records.h"

static void Request(const uint8_t* data, size_t size) {
  // The channel's decoder also sees records shorter than the layout, copied to a buffer of
  // their own size so that a read past them is a crash.
  const std::vector<uint8_t> given(data, data + std::min(size, channel::kElevationRequestSize));
  channel::ElevationRequest record{};
  std::copy(given.begin(), given.end(), record.begin());
  channel::ElevationRequestFields fields;
  channel::DecodeElevationRequest(given.data(), given.size(), &fields);
  std::string why;
  const auto request = service::ValidateElevationRequest(record, &why, &fields);
  if (!request) return Require(!why.empty());
  // Account names cannot hold a backslash: a second one is a probe of the name lookup.
  Require(std::count(request->user.begin(), request->user.end(), u'\\') == 1);
  Require(channel::EncodeElevationRequest(request->user, request->reason, request->atLogin,
                                          request->seconds) == record);
}

static void Settings(const uint8_t* data, size_t size) {
  channel::SettingsRecord record{};
  std::copy_n(data, std::min(size, record.size()), record.begin());
  std::string why;
  channel::SettingsRecordFields fields;
  const auto settings = service::ValidateSettingsRecord(record, &why, &fields);
  if (!settings) return Require(!why.empty());
  // The period is the number its digits spell: no sign, blank or other form the tray would
  // parse differently got through.
  const std::string& period = fields.accessPeriod;
  Require(std::to_string(settings->accessPeriod) ==
          period.substr(std::min(period.find_first_not_of('0'), period.size())));
  Require(channel::EncodeSettingsRecord(fields.accessPeriod, fields.identity, fields.resuscitate,
                                        fields.elevateAtLogin) == record);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  (data[0] & 1) ? Settings(data + 1, size - 1) : Request(data + 1, size - 1);
  return 0;
}
