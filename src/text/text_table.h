// The twenty localized entries: the key each stands under in a language file, the string-table
// id of its built-in English text, and the arguments it is formatted with.
#pragma once

#include <cstddef>

#include "resource.h"

namespace velmora {

enum class TextId : int {
  kBalloonCaption,
  kBalloonStartMessage,
  kBalloonExpireMessage,
  kBalloonForbiddenMessage,
  kBalloonAlreadyAdmin,
  kBalloonAlreadyAdmin2,
  kBalloonServiceNotRunning,
  kBalloonElevationAfterResuscitate,
  kBalloonCannotElevateAD,
  kEternalElevation,
  kMenuItemElevate,
  kMenuItemAbout,
  kMenuItemSettings,
  kMenuItemStatus,
  kMenuItemRequestPrivileges,
  kMenuElevateForXDays,
  kElevateReasonDlgTitle,
  kElevateReasonDlgPrompt,
  kElevateReasonDlgButton1,
  kElevateReasonDlgButton2,
};

constexpr size_t kTextCount = 20;

// An entry's text holds at most this many UTF-16 units (a 200-unit field with its terminator).
constexpr size_t kTextMaxUnits = 199;

// How an entry's text is used, and so which placeholders a language file may give it. "%User"
// is the user's name (a text), "%Timer" the time: a number, or the duration text.
enum class TextArgs {
  kShownAsWritten,  // put into a window or passed as an argument; never formatted
  kNone,            // formatted without arguments
  kNumber,          // %Timer, as %d
  kUser,            // %User, as %s
  kDuration,        // %Timer, as %s
  kUserDuration,    // %User then %Timer, both %s
};

struct TextInfo {
  TextId id;
  const wchar_t* key;
  int resourceId;
  TextArgs args;
};

// In TextId order.
inline constexpr TextInfo kTextTable[kTextCount] = {
    {TextId::kBalloonCaption, L"BalloonCaption", IDS_BALLOON_CAPTION, TextArgs::kShownAsWritten},
    {TextId::kBalloonStartMessage, L"BalloonStartMessage", IDS_BALLOON_START_MESSAGE,
     TextArgs::kNumber},
    {TextId::kBalloonExpireMessage, L"BalloonExpireMessage", IDS_BALLOON_EXPIRE_MESSAGE,
     TextArgs::kShownAsWritten},
    {TextId::kBalloonForbiddenMessage, L"BalloonForbiddenMessage", IDS_BALLOON_FORBIDDEN_MESSAGE,
     TextArgs::kShownAsWritten},
    {TextId::kBalloonAlreadyAdmin, L"BalloonAlreadyAdmin", IDS_BALLOON_ALREADY_ADMIN,
     TextArgs::kUser},
    {TextId::kBalloonAlreadyAdmin2, L"BalloonAlreadyAdmin2", IDS_BALLOON_ALREADY_ADMIN2,
     TextArgs::kUserDuration},
    {TextId::kBalloonServiceNotRunning, L"BalloonServiceNotRunning",
     IDS_BALLOON_SERVICE_NOT_RUNNING, TextArgs::kNone},
    {TextId::kBalloonElevationAfterResuscitate, L"BalloonElevationAfterResuscitate",
     IDS_BALLOON_ELEVATION_AFTER_RESUSCITATE, TextArgs::kDuration},
    {TextId::kBalloonCannotElevateAD, L"BalloonCannotElevateAD", IDS_BALLOON_CANNOT_ELEVATE_AD,
     TextArgs::kShownAsWritten},
    {TextId::kEternalElevation, L"EternalElevation", IDS_ETERNAL_ELEVATION, TextArgs::kUser},
    {TextId::kMenuItemElevate, L"MenuItemElevate", IDS_MENU_ITEM_ELEVATE, TextArgs::kUser},
    {TextId::kMenuItemAbout, L"MenuItemAbout", IDS_MENU_ITEM_ABOUT, TextArgs::kShownAsWritten},
    {TextId::kMenuItemSettings, L"MenuItemSettings", IDS_MENU_ITEM_SETTINGS,
     TextArgs::kShownAsWritten},
    {TextId::kMenuItemStatus, L"MenuItemStatus", IDS_MENU_ITEM_STATUS, TextArgs::kShownAsWritten},
    {TextId::kMenuItemRequestPrivileges, L"MenuItemRequestPrevileges",
     IDS_MENU_ITEM_REQUEST_PREVILEGES, TextArgs::kShownAsWritten},
    {TextId::kMenuElevateForXDays, L"MenuElevateForXDays", IDS_MENU_ELEVATE_FOR_X_DAYS,
     TextArgs::kNumber},
    {TextId::kElevateReasonDlgTitle, L"ElevateReasonDlgTitle", IDS_ELEVATE_REASON_DLG_TITLE,
     TextArgs::kShownAsWritten},
    {TextId::kElevateReasonDlgPrompt, L"ElevateReasonDlgPrompt", IDS_ELEVATE_REASON_DLG_PROMPT,
     TextArgs::kShownAsWritten},
    {TextId::kElevateReasonDlgButton1, L"ElevateReasonDlgButton1", IDS_ELEVATE_REASON_DLG_BUTTON1,
     TextArgs::kShownAsWritten},
    {TextId::kElevateReasonDlgButton2, L"ElevateReasonDlgButton2", IDS_ELEVATE_REASON_DLG_BUTTON2,
     TextArgs::kShownAsWritten},
};

constexpr const TextInfo& InfoOf(TextId id) { return kTextTable[static_cast<size_t>(id)]; }

// The table must stay in TextId order for InfoOf.
constexpr bool TableIsInOrder() {
  for (size_t i = 0; i < kTextCount; ++i) {
    if (static_cast<size_t>(kTextTable[i].id) != i) return false;
  }
  return true;
}
static_assert(TableIsInOrder(), "kTextTable must list the entries in TextId order");

}  // namespace velmora
