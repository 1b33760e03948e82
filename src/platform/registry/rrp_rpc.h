// The remote registry's RPC interface (MS-RRP over \PIPE\winreg): the calls
// that reading another computer's HKEY_LOCAL_MACHINE needs, their request
// stubs and the readers of their answers. Answers carry Win32 codes as they
// are; RPC_X_BAD_STUB_DATA is an answer that does not parse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

namespace platform::rrp {

enum Opnum : uint16_t {
  kOpenLocalMachine = 2,
  kCloseKey = 5,
  kEnumKey = 9,
  kOpenKey = 15,
  kQueryValue = 17,
};

// The largest value we take; registry values of interest are paths.
constexpr uint32_t kMaxValue = 1u << 20;
// Room for a key name: 255 characters and the terminator, in bytes.
constexpr uint16_t kNameRoom = 512;

const rpc::SyntaxId& Interface();

std::vector<uint8_t> OpenLocalMachineRequest(uint32_t access);
std::vector<uint8_t> OpenKeyRequest(const rpc::ContextHandle& key, std::string_view subKey, uint32_t access);
std::vector<uint8_t> QueryValueRequest(const rpc::ContextHandle& key, std::string_view name, uint32_t room);
std::vector<uint8_t> EnumKeyRequest(const rpc::ContextHandle& key, uint32_t index);
std::vector<uint8_t> CloseKeyRequest(const rpc::ContextHandle& key);

// OpenLocalMachine, OpenKey and CloseKey.
DWORD ParseKeyAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& key);
// The value's type and bytes as the server keeps them; with ERROR_MORE_DATA
// `size` is what it needs.
DWORD ParseQueryValueAnswer(std::span<const uint8_t> answer, uint32_t& type, std::vector<uint8_t>& data,
                            uint32_t& size);
DWORD ParseEnumKeyAnswer(std::span<const uint8_t> answer, std::string& name);

}  // namespace platform::rrp
