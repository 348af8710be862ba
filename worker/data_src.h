// DataSrc: the destination data source record ("mtELVAN.DataSrc") that the console fills and the
// worker hands to every engine operation. Four strings, empty when created.
// Threading: a plain holder; may be read from any thread while nobody writes it.
#pragma once

#include <string>
#include <utility>

#include "engine/data_source.h"

namespace kelvan::worker {

inline constexpr const char* kDataSrcClassId = "mtELVAN.DataSrc";

class DataSrc : public engine::DataSource {
 public:
  std::string Name() const override { return name_; }
  std::string UserName() const override { return user_name_; }
  std::string Password() const override { return password_; }
  std::string Qualifier() const override { return qualifier_; }

  void SetName(std::string value) { name_ = std::move(value); }
  void SetUserName(std::string value) { user_name_ = std::move(value); }
  void SetPassword(std::string value) { password_ = std::move(value); }
  void SetQualifier(std::string value) { qualifier_ = std::move(value); }

 private:
  std::string name_;
  std::string user_name_;
  std::string password_;
  std::string qualifier_;
};

}  // namespace kelvan::worker
