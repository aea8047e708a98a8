#pragma once
// What the demo service publishes: the catalogue, the detail of each item, the ads, the two
// documents and the account book. Plain values and pure functions; every text is UTF-8, as
// it travels on the wire. The server side (demo_server.h) puts them on the network.
#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velnox::demo {

// How a publication time is written in the catalogue: the service's editors are not tidy.
enum class TimeStyle { DashedWithClock, SlashedDateOnly, UnitCharacters, PackedDigits };

// Pictures the demo serves: covers come in several sizes and shapes, in PNG and JPEG.
enum class PictureFormat { Png, Jpeg };
struct CoverShape {
  int width;
  int height;
  PictureFormat format;
};

struct Item {
  std::string name;
  std::string category;  // printed on the cover
  double hoursAgo;       // age of the publication
  TimeStyle timeStyle;
  std::string detail;  // the detail text, in whichever of the three forms the editor used
  int coverShape;      // index into coverShapes(), or -1 when the cover address is dead
};

const std::vector<Item>& catalogue();
const std::vector<CoverShape>& coverShapes();
const Item* findItem(std::string_view name);

// Writes a local time in the item's style.
std::string formatTime(std::time_t when, TimeStyle style);

// --- Server messages (UTF-8, token included) ---

// Banner, side pictures and login button all switched on.
std::string adSwitchesMessage();
// Only the side pictures of the open detail window; the other two targets are left as they are.
std::string sidePicturesSwitchMessage();
// The five ad slots; pictures and click pages live under baseUrl ("http://host:port").
std::string adListMessage(std::string_view baseUrl);
// Every item with its publication time seen from `now`.
std::string catalogueMessage(std::time_t now);
// The answers to a detail request: the detail text, the cover address and the switch for the
// side pictures. An unknown title gets a short notice and a cover address that yields nothing.
std::vector<std::string> detailMessages(std::string_view title, std::string_view baseUrl);

// Where the cover of item `index` (0-based) lives, and the path of a picture by its name.
std::string coverPath(int index);
std::string adPath(int slot);
// Banner and side pictures alternate between PNG and JPEG.
PictureFormat adFormat(int slot);

// --- Documents on the HTTP side ---

// The published version: ours ("1.0.3"), or a newer one with release notes.
inline constexpr std::string_view kOwnVersion = "1.0.3";
inline constexpr std::string_view kNewerVersion = "1.0.4";
std::string updateDocument(bool newer, std::string_view baseUrl);
std::string noticeDocument();
std::string signupPage();
std::string adPage(int slot);
std::string downloadPage(std::string_view version);

// --- Accounts ---

inline constexpr std::string_view kDemoAccount = "demo";
inline constexpr std::string_view kDemoPassword = "velnox";
inline constexpr std::string_view kSignupCode = "VX-2026";

// Log-in and sign-up answers. Every decision is made here; the client only shows the hints.
// Thread-safe: clients on several connections may sign up at once.
class AccountBook {
 public:
  AccountBook();
  // Answers a client message that begins with "%yhdr%" or "%yhjr%" (token included);
  // empty for anything else.
  std::vector<std::string> answer(std::string_view message);

 private:
  std::vector<std::string> logIn(std::string_view account, std::string_view password);
  std::vector<std::string> signUp(std::string_view account, std::string_view password, std::string_view code);

  std::mutex m_mutex;
  std::map<std::string, std::string, std::less<>> m_passwords;
};

}  // namespace velnox::demo
