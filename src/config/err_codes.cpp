#include "config/err_codes.h"

#include <algorithm>
#include <iterator>

namespace vx {

namespace {

struct Entry {
  std::int32_t code;
  const char* text;
};

// Sorted by code.
constexpr Entry kTexts[] = {
    {0, "Communication OK"},
    {1, "VB_LOST_SYNC"},
    {2, "No USB: VB_NO_USB"},
    {3, "SMB Bad PEC: VB_BAD_PEC"},
    {5, "VB_WRONG_NUM_BYTES"},
    {6, "SMB terminated: VB_T2H_UNKNOWN"},
    {7, "VB_INCORRECT_PARAM"},
    {8, "USB timeout: VB_TIMEOUT_ERROR"},
    {9, "VB_INVALID_DATA"},
    {10, "VB_ERR_UNSOLICITED_PKT"},
    {11, "VB_COMPARE_DIFFERENT"},
    {12, "VB_KD52LNK_OCX_INTERNAL_ERROR"},
    {13, "VB_DEV_GG_MODE"},
    {14, "VB_DEV_ROM_MODE"},
    {34, "VB_USER_CANCELLED_OPERATION"},
    {51, "VB_DF_CHECKSUM_MISMATCH"},
    {52, "VB_IF_CHECKSUM_MISMATCH"},
    {81, "VB_ERR_TOO_MANY_QUERIES"},
    {82, "VB_ERR_BAD_QUERY_ID"},
    {83, "VB_BAD_CRC"},
    {84, "VB_ERR_TOO_MANY_RESPONSES"},
    {85, "VB_ERR_NO_QUERIES_TO_DELETE"},
    {86, "VB_ERR_QUERY_UNAVAILABLE"},
    {87, "VB_ERR_NO_RESPONSES_TO_DELETE"},
    {88, "VB_ERR_RESPONSE_UNAVAILABLE"},
    {90, "VB_ERR_TMMT_NO_RESPONSE"},
    {92, "VB_T2H_ERR_TIMEOUT"},
    {94, "VB_BUS_BUSY"},
    {95, "VB_T2H_ERR_BAD_SIZE"},
    {97, "VB_ERR_BAD_PAYLOAD_LEN"},
    {98, "VB_ERR_TMMT_LIST_FULL"},
    {99, "VB_ERR_TMMT_BAD_SELECTION"},
    {100, "Unknown error: VB_UNKNOWN"},
    {221, "VB_SREC_OPEN_FAIL"},
    {222, "VB_SREC_BAD_START_RECORD"},
    {223, "VB_SREC_UNKNOWN_TYPE"},
    {224, "VB_SREC_BAD_CHECKSUM"},
    {225, "VB_SREC_BAD_RECORD_COUNT"},
    {226, "VB_SREC_DEV_MISMATCH"},
    {227, "VB_CONFIG_OPEN_FAIL"},
    {228, "VB_CONFIG_UNEXPECTED_EOF"},
    {229, "VB_CONFIG_BAD_FORMAT"},
    {231, "VB_PCFG_DEVVER_MISMATCH"},
    {232, "VB_PCFG_DEV_MISMATCH"},
    {233, "VB_PCFG_SRECDEVVER_MISMATCH"},
    {234, "VB_PCFG_SRECDEV_MISMATCH"},
    {235, "VB_BCFG_DEVVER_MISMATCH"},
    {236, "VB_BCFG_DEV_MISMATCH"},
    {260, "VB_SMBC_LOCKED"},
    {516, "VB_SMBD_LOCKED"},
    {772, "No Acknowledge: VB_T2H_NACK"},
    {1028, "VB_SMBD_LOW"},
    {1284, "VB_SMB_LOCKED"},
    {5043, "VB_ERR_USB_ACQUIRE"},
};

}  // namespace

std::string GetErrorText(std::int32_t code) {
  auto it = std::lower_bound(std::begin(kTexts), std::end(kTexts), code,
                             [](const Entry& e, std::int32_t c) { return e.code < c; });
  if (it != std::end(kTexts) && it->code == code) return it->text;
  return "Error Code (decimal) " + std::to_string(code);
}

}  // namespace vx
