// The host's adapter object, called late-bound by name: each SMBusAdapter method looks up its
// name with GetIDsOfNames once and is invoked through IDispatch with every argument by
// reference; out values are read back from the references afterwards. Any host object that
// implements these names works, whatever language it is written in.
#pragma once

#include "plugin/win.h"

#include <array>

#include "device/smbus_adapter.h"

namespace vx::win {

class DispatchAdapter final : public SMBusAdapter {
 public:
  explicit DispatchAdapter(IDispatch* object);  // takes its own reference
  ~DispatchAdapter() override;
  DispatchAdapter(const DispatchAdapter&) = delete;
  DispatchAdapter& operator=(const DispatchAdapter&) = delete;

  Status ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                       std::int16_t addr) override;
  Status ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) override;
  Status WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                        std::int16_t addr) override;
  Status WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) override;
  Status ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data, std::int16_t& length,
                         std::int16_t addr) override;
  Status WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data, std::int16_t length,
                         std::int16_t addr) override;
  Status WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) override;
  Status CheckForError() override;
  Status Delay(std::int32_t ms) override;

 private:
  static constexpr std::size_t kMethodCount = kAdapterMethodNames.size();
  // Calls the method with args in call order (reversed into DISPPARAMS here). A failed call
  // (unknown name, an exception in the object, a result that is not a number) comes back as
  // its HRESULT, which is non-zero and so stops the caller like any adapter error.
  Status Call(AdapterMethod m, VARIANTARG* args, UINT count);

  IDispatch* object_;
  std::array<DISPID, kMethodCount> ids_{};
  std::array<bool, kMethodCount> looked_up_{};
};

}  // namespace vx::win
