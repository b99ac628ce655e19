#pragma once

// The message texts that more than one subsystem shows. Texts used in one place only stay beside their rule.

#include <string>

namespace zandel::texts {

inline constexpr const char* kAppName = "Zandel";
inline constexpr const char* kUntitled = "無題";

// string 61463
inline constexpr const char* kNoAccessUrl =
    "ﾌﾟﾛｷｼｻｰﾊﾞを通してｱｸｾｽするｻｰﾊﾞを指定してください\n\"詳細設定\"ﾀﾞｲｱﾛｸﾞ-\"接続先URL設定\"ﾀﾌﾞで指定することができます";
// string 61470
inline constexpr const char* kStartupCheckWarning =
    "現在設定されているﾌﾟﾛｷｼでは、接続できないかもしれません\nﾌﾟﾛｷｼを変更することをお勧めします";
// string 61468
inline constexpr const char* kCloseDuringRun =
    "プロキシチェック中です。\"OK\"を選択した場合、\nアプリケーションを終了します。";

// The settings page, the run and --judge-key refuse a key the judge could not hold with this one message.
inline constexpr const char* kJudgeKeyMessage =
    "判定用CGIの鍵は、空白を含まない半角の英数字・記号8～256文字で指定してください";

inline constexpr const char* kRowLimit = "1000個のｱﾄﾞﾚｽが追加されました。\nこれ以上は追加できません";
// The same for a list whose limit the user raised.
inline std::string RowLimitMessage(int rows) {
    return std::to_string(rows) + "個のｱﾄﾞﾚｽが追加されました。\nこれ以上は追加できません";
}
inline constexpr const char* kBadListFormat =
    "このﾌｧｲﾙは無効なﾌｫｰﾏｯﾄです。\n現在読み込むことができるのは*.txtﾌｧｲﾙのみです";
inline constexpr const char* kNoBrowserPath =
    "ブラウザのパスが指定されていません。\n設定ダイアログを開いて、ブラウザを指定してください。";

} // namespace zandel::texts
