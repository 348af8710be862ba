#include "vltsim/generator/real_server.h"

#include <algorithm>
#include <iterator>

namespace kelvan::vltsim {
namespace {

constexpr std::int64_t kJustPast32Bits = 2'147'483'648;
constexpr std::int64_t kPast32Bits = 3'000'000'000;
constexpr std::int64_t kFarPast32Bits = 9'000'000'000;

struct NodeLook {
  const char* name;
  const char* domain;  // null keeps the tidy value, here and below
  const char* schedule;
  const char* address;
};

// For the nodes 3, 7, 13 and 17.
constexpr NodeLook kLooks[] = {
    // 71 characters in 211 bytes: one ASCII letter, then multi-byte characters only.
    {"S東京都港区芝浦第二データセンター夜間バックアップ専用ノード経理部門の給与計算システムと保管庫"
     "を担当する予備機群の第三世代後継機種最終確認済み",
     "DOM_ÉTRANGER", "NUIT « D'ÉTÉ » \"A\\B\" --PRIORITÉ; 東京", "nœud-東京.exämple.jp"},
    {"O'NEIL-\"QA\"\\LAB--07;", nullptr, nullptr, nullptr},
    {"ZOË-CAFÉ-📦-PC", "DOM_BÜRO", "TÄGLICH_MITTAG", nullptr},
    {"B\xDCRO-PC-17", nullptr, nullptr, nullptr},  // ISO-8859-1, as an old client registered it
};

void Replace(std::string& field, const char* value) {
  if (value != nullptr) field = value;
}

// Index just past the UTF-8 character that starts at `at`.
size_t NextCharacter(const std::string& text, size_t at) {
  size_t end = at + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return end;
}

// `characters` characters of accented prose, with the quotes, backslash, "--" and ";" that
// careless quoting trips on.
std::string AccentedText(int characters) {
  static const std::string kProse =
      "Échec répété à l'écriture chez « Zoë Müller-Øyå » ; réessai déjà prévu — "
      "\"C:\\Données\\Été\\Résumé--final;v2\" 📦 côté Hélène, Jérôme, Åsa, Ñuño, Bénédicte, "
      "Çağrı. ";
  std::string text;
  size_t at = 0;
  for (int count = 0; count < characters; ++count) {
    const size_t next = NextCharacter(kProse, at);
    text.append(kProse, at, next - at);
    at = next % kProse.size();
  }
  return text;
}

std::int64_t NextFreeNumber(const HourActivity& slot) {
  std::int64_t highest = 0;
  for (const Activity& activity : slot.activities) highest = std::max(highest, activity.number);
  return highest + 1;
}

Activity* FirstSession(HourActivity& slot) {
  const auto it = std::find_if(slot.activities.begin(), slot.activities.end(),
                               [](const Activity& a) { return !a.commmeth.empty(); });
  return it == slot.activities.end() ? nullptr : &*it;
}

// A session numbered past 32 bits, its messages with it, that counted past 32 bits as well.
void CountPast32Bits(HourActivity& slot, std::int64_t) {
  Activity* session = FirstSession(slot);
  if (session == nullptr) return;
  const std::int64_t old_number = session->number;
  session->number += kPast32Bits;
  session->examined = kFarPast32Bits;
  session->affected = kPast32Bits;
  session->failed = kJustPast32Bits;
  session->idle = kPast32Bits;
  for (Message& message : slot.messages) {
    if (message.session == old_number) message.session = session->number;
  }
}

// A client whose clock runs behind the server's.
void SkewClocks(HourActivity& slot, std::int64_t) {
  Activity* session = FirstSession(slot);
  if (session == nullptr) return;
  session->idle = -1;
  session->comm_wait = -3;
  session->failed = 0;
}

// A process that found nothing to do, placed among the sessions so that the set of empty
// columns changes from row to row: no bytes, no communication method, no tape.
void AddIdleProcess(HourActivity& slot, std::int64_t hour, const char* activity,
                    const char* entity) {
  Activity process;
  process.start = hour * kSecondsPerHour + 25 * 60;
  process.end = process.start + 40;
  process.activity = activity;
  process.number = NextFreeNumber(slot);
  process.entity = entity;
  const auto middle =
      slot.activities.begin() + static_cast<std::ptrdiff_t>(slot.activities.size() / 2);
  slot.activities.insert(middle, std::move(process));
}

void AddIdleExpiration(HourActivity& slot, std::int64_t hour) {
  AddIdleProcess(slot, hour, "EXPIRATION", "");
}

void AddIdleMigration(HourActivity& slot, std::int64_t hour) {
  AddIdleProcess(slot, hour, "MIGRATION", "DISK_POOL -> TAPE_POOL");
}

// Alternately 210 characters (fewer than 255, but more bytes) and 290 characters.
void AddAccentedMessage(HourActivity& slot, std::int64_t hour) {
  Message message;
  message.time = hour * kSecondsPerHour + 30 * 60;
  message.msgno = kPast32Bits;
  message.severity = 'W';
  message.text = AccentedText(hour / 6 % 2 == 0 ? 210 : 290);
  slot.messages.push_back(std::move(message));
}

// A file name in ISO-8859-1, a stray 0xFF 0xFE and a character cut after two of its three bytes.
void AddBrokenTextMessage(HourActivity& slot, std::int64_t hour) {
  Message message;
  message.time = hour * kSecondsPerHour + 50 * 60;
  message.msgno = kFarPast32Bits;
  message.severity = 'E';
  message.text =
      "Fichier ignor\xE9 : '/home/zo\xEB/r\xE9sum\xE9s/\xFF\xFEnotes.txt' n'est pas en UTF-8 "
      "(\xE6\x97";
  slot.messages.push_back(std::move(message));
}

}  // namespace

void GiveRealLook(NodeInfo& node, int index) {
  if (index % 10 != 3 && index % 10 != 7) return;
  const size_t look = static_cast<size_t>(index / 10 * 2 + (index % 10 == 7 ? 1 : 0));
  if (look >= std::size(kLooks)) {
    node.name = "NŒUD-ÆØÅ-" + std::to_string(index);
    return;
  }
  Replace(node.name, kLooks[look].name);
  Replace(node.domain, kLooks[look].domain);
  Replace(node.schedule, kLooks[look].schedule);
  Replace(node.address, kLooks[look].address);
}

void RoughenHour(HourActivity& slot, std::int64_t hour) {
  using Roughening = void (*)(HourActivity&, std::int64_t);
  static constexpr Roughening kRound[] = {CountPast32Bits, AddIdleExpiration, AddAccentedMessage,
                                          SkewClocks,      AddIdleMigration,  AddBrokenTextMessage};
  kRound[(hour % 6 + 6) % 6](slot, hour);
}

void RoughenSnapshot(const SourceTable& table, std::vector<SimRow>& rows) {
  if (table.name != "OCCUPANCY") return;
  for (size_t row = 5; row < rows.size(); row += 8) {
    rows[row].Set("NUM_FILES", Cell(row % 16 == 5 ? kPast32Bits : kFarPast32Bits));
  }
}

}  // namespace kelvan::vltsim
