#include "console/core/action_requests.h"

namespace {

FixedText<kPasswordLength> PasswordField(std::string_view password) {
  FixedText<kPasswordLength> field;
  field.assign(password);
  return field;
}

}  // namespace

std::vector<uint8_t> BuildApplyRequest(const uint8_t* editReply, std::size_t editLength,
                                       const HostRecord& stored, const HostRecord& edited,
                                       const Credentials& credentials) {
  SettingsBody body;
  BuildSettingsBody(stored, edited, body);
  // Sized by the body's own count: the transport derives the length from it.
  std::vector<uint8_t> request =
      BuildTargetedRequest(Request::ApplySettings, editReply, editLength, body.nicCount);
  if (request.empty()) return request;
  SetCredentials(request, stored, credentials.userName, PasswordField(credentials.password));
  if (!EncodeSettingsBody(body, request.data(), request.size())) request.clear();
  return request;
}

std::vector<uint8_t> BuildPasswordRequest(const uint8_t* storedReply, std::size_t storedLength,
                                          const HostRecord& stored, const Credentials& credentials,
                                          uint8_t account, std::string_view newPassword) {
  std::vector<uint8_t> request =
      BuildTargetedRequest(Request::ChangePassword, storedReply, storedLength);
  if (request.empty()) return request;
  SetCredentials(request, stored, credentials.userName, PasswordField(credentials.password));
  PasswordBody body;
  body.account = account;
  body.newPassword = PasswordField(newPassword);
  body.confirmPassword = body.newPassword;
  if (!EncodePasswordBody(body, request.data(), request.size())) request.clear();
  return request;
}

std::vector<uint8_t> BuildShortActionRequest(uint32_t requestCode, const uint8_t* reply,
                                             std::size_t replyLength, const HostRecord& stored,
                                             const Credentials& credentials) {
  if (requestCode != Request::Team && requestCode != Request::Unteam &&
      requestCode != Request::Restart)
    return {};
  std::vector<uint8_t> request = BuildTargetedRequest(requestCode, reply, replyLength);
  if (request.empty()) return request;
  SetCredentials(request, stored, credentials.userName, PasswordField(credentials.password));
  return request;
}

uint32_t TeamingRequestCode(std::string_view caption) {
  return caption == "Teaming" ? Request::Team : Request::Unteam;
}
