// ServerProperty: one VLT server entry ("mtELVAN.ServerProperty"). Value is stored as given, not
// derived: the console builds it as "DSN=" + DSN + ";UID=" + UID + ";PWD=" + Password, or keeps
// the string it read from the setup file. Four strings, empty when created.
// Threading: a plain holder; may be read from any thread while nobody writes it.
#pragma once

#include <string>
#include <utility>

namespace kelvan::worker {

inline constexpr const char* kServerPropertyClassId = "mtELVAN.ServerProperty";

class ServerProperty {
 public:
  const std::string& DSN() const { return dsn_; }
  const std::string& UID() const { return uid_; }
  const std::string& Password() const { return password_; }
  const std::string& Value() const { return value_; }

  void SetDSN(std::string value) { dsn_ = std::move(value); }
  void SetUID(std::string value) { uid_ = std::move(value); }
  void SetPassword(std::string value) { password_ = std::move(value); }
  void SetValue(std::string value) { value_ = std::move(value); }

 private:
  std::string dsn_;
  std::string uid_;
  std::string password_;  // never written to a log or a message
  std::string value_;     // holds the password too
};

}  // namespace kelvan::worker
