// Every text the user sees, byte for byte as shown, in one place. Code names a text and never
// spells it out. All are UTF-8; front ends convert at their edge.
#ifndef DIZOR_SUPPORT_TEXTS_H_
#define DIZOR_SUPPORT_TEXTS_H_

namespace texts {

// Titles.
inline constexpr const char* kAppTitle =
    "Dizor解凍 Ver 1.10";  // boxes without a title of their own
inline constexpr const char* kWindowCaption = "Dizor-解凍 Ver 1.10";
inline constexpr const char* kChoiceCaption = "解凍方法の選択";
inline constexpr const char* kTitleError = "Error";
inline constexpr const char* kTitleFailed = "Failed";
inline constexpr const char* kTitleSucceeded = "Succeeded!!";
inline constexpr const char* kTitleUnrecognised = "失敗！";
inline constexpr const char* kTitleAbout = "バージョン情報";

// Control captions.
inline constexpr const char* kFrame5 = "プログラムの設定";
inline constexpr const char* kFrame7 = "解凍したファイルの保存先フォルダ";
inline constexpr const char* kOptionSamePlace = "入力と同じ場所";
inline constexpr const char* kOptionFixed = "指定";
inline constexpr const char* kOptionAsk = "解凍する時に指定";
inline constexpr const char* kBrowse = "参照";
inline constexpr const char* kCheckAutoCreate = "フォルダを自動生成する";
inline constexpr const char* kCheckOpenFolder = "解凍先フォルダを開く";
inline constexpr const char* kCheckSuppressDllWarning = "起動時にDLLが無い場合でも警告を表示しない";
inline constexpr const char* kAboutButton = "バージョン情報";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "キャンセル";

// Batch and extraction.
inline constexpr const char* kUnrecognisedSuffix = "の解凍に失敗しました";
inline constexpr const char* kExtractFailedPrefix = "解凍に失敗しました。Error Code:0x";
inline constexpr const char* kGcaSucceeded = "解凍に成功しました。";
inline constexpr const char* kZipUnavailable = "Zip形式での解凍ができません。";
inline constexpr const char* kLhaUnavailable = "Lha形式での解凍ができません。";
inline constexpr const char* kCabUnavailable = "Cab形式での解凍ができません。";
inline constexpr const char* kGcaUnavailable = "Gca形式での解凍ができません。";
inline constexpr const char* kRarUnavailable = "Rar形式での解凍ができません。";
inline constexpr const char* kOpenFolderFailed = "解凍先フォルダを開けませんでした。";

// Library availability check. Line breaks inside a prompt are CR LF.
inline constexpr const char* kUnlhaMissing = "UNLHA32.DLLが見つかりません!!";
inline constexpr const char* kCabMissing = "CAB32.DLLが見つかりません!!";
inline constexpr const char* kZipMissingUnzip =
    "現在の環境にZIP32J.DLLまたはIZIP32J.DLLは導入されていますが、\r\n"
    "このプログラムはUNZIP32.DLLが導入されてないと実行できません。";
inline constexpr const char* kZipMissingZip32j =
    "現在の環境にUNZIP32.DLLは導入されていますが、\r\n"
    "このプログラムはZIP32J.DLLまたはIZIP32J.DLLが導入されてないと実行できません。";
inline constexpr const char* kZipMissingBoth =
    "このプログラムはZIP32J.DLLまたはIZIP32J.DLLとUNZIP32.DLLが導入されてないと実行できません。";
inline constexpr const char* kGcaMissing = "UnGCA32.DLLが見つかりません!!";
inline constexpr const char* kRarMissing =
    "このプログラムはUNRAR.DLLとUNRAR32.DLLが導入されてないとRAR形式の解凍ができません。";

// Settings file and window.
inline constexpr const char* kSettingsFileName = "Dizor-K.ini";
inline constexpr const char* kSettingsHeader =
    "このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。";
inline constexpr const char* kNoData = "No Data";
inline constexpr const char* kBrowsePrompt = "フォルダーを指定してください。";
inline constexpr const char* kBrowseTitle = "フォルダーの参照";
inline constexpr const char* kSaveFailed = "設定を保存できませんでした。";
inline constexpr const char* kSaveFailedNotCp932 =
    "保存先フォルダに、設定ファイルに書けない文字（Shift_JISで表せない文字）が含まれています。";
inline constexpr const char* kSaveFailedLineBreak = "保存先フォルダに改行が含まれています。";
inline constexpr const char* kSaveFailedNoFolder =
    "「指定」を選んだときは、保存先フォルダを入力してください。";
// Why the settings file could not be written, where the system's own message is not Japanese.
inline constexpr const char* kWriteNotPermitted = "フォルダへの書き込みが許可されていません。";
inline constexpr const char* kWriteReadOnly = "読み取り専用のファイルシステムです。";
inline constexpr const char* kWriteDiskFull = "ディスクの空き容量が足りません。";
inline constexpr const char* kWriteFolderMissing = "フォルダが見つかりません。";
inline constexpr const char* kProgramMissing = "プログラムが見つかりません。";

// Error report and About box.
inline constexpr const char* kErrorLine1 = "エラーが発生しました。";
inline constexpr const char* kErrorLine2 =
    "編集中のファイルを保存し、終了することをおすすめします。";
inline constexpr const char* kErrorLine3 = "以下の情報とエラー発生時の状況を作者に送って下さい。";
inline constexpr const char* kErrorNumberPrefix = "ErrorNumber = ";
inline constexpr const char* kErrorDescriptionPrefix = "ErrorDescription = ";
inline constexpr const char* kAboutAuthor = "作成 : Dizor-解凍 開発チーム";
inline constexpr const char* kAboutHomePage = "HP : https://dizor.invalid/";
inline constexpr const char* kAboutMail = "Mail: dizor@dizor.invalid";

// Run-time error descriptions.
inline constexpr const char* kError5 = "プロシージャの呼び出し、または引数が不正です。";
inline constexpr const char* kError9 = "インデックスが有効範囲にありません。";
inline constexpr const char* kError48 = "DLL 読み込み時のエラーです。";
inline constexpr const char* kError53 = "ファイルが見つかりません。";
inline constexpr const char* kError453 = "DLL エントリ ポイントが見つかりません。";
inline constexpr const char* kError7 = "メモリが不足しています。";
inline constexpr const char* kError51 = "内部エラーです。";
inline constexpr const char* kErrorOther =
    "アプリケーション定義またはオブジェクト定義のエラーです。";

// The generic report of a run-time error that escapes a handler of the window.
inline constexpr const char* kUnhandledErrorPrefix = "実行時エラー '";
inline constexpr const char* kUnhandledErrorMiddle = "':\r\n\r\n";

// Passwords and progress.
inline constexpr const char* kPasswordPrompt = "パスワードを入力してください。";
inline constexpr const char* kPasswordWrong = "パスワードが違います。もう一度入力してください。";
inline constexpr const char* kPasswordArchive = "書庫: ";
inline constexpr const char* kProgressTitle = "解凍中";
inline constexpr const char* kProgressEntries = " 個目";
inline constexpr const char* kPasswordTitle = "パスワードの入力";
inline constexpr const char* kProgressArchive = "書庫: ";
inline constexpr const char* kProgressEntry = "ファイル: ";
inline constexpr const char* kProgressEntryCount = " 個";  // "3 / 10 個"
inline constexpr const char* kProgressCancelling = "中止しています…";

// The console program.
inline constexpr const char* kCliSettingsFile = "設定ファイル: ";
inline constexpr const char* kCliSettingsFileMissing = "（ありません。初期値を表示します）";
inline constexpr const char* kCliChoiceNeedsWindow =
    "「解凍する時に指定」の設定では解凍先をウィンドウで選ぶため、デスクトップ版 dizor "
    "で開いてください。何も解凍していません。";
// The options of dizor-cli and dizor. The usage texts end with a line break.
inline constexpr const char* kCliUsage =
    "使い方: dizor-cli [オプション] [--] [書庫...]\n"
    "書庫を一つずつ、設定どおりのフォルダへ解凍します。メッセージは標準エラー出力に書きます。\n"
    "書庫を渡さないときは、設定ファイルの場所と五つの設定を表示します。\n"
    "\n"
    "  -h, --help     この説明を表示して終了します\n"
    "      --version  バージョンを表示して終了します\n"
    "  --             これより後ろの引数はすべて書庫です（「-」で始まる名前の書庫に）\n"
    "\n"
    "終了コード: 0 失敗なし、1 解凍できなかった書庫がある、\n"
    "            2 実行時エラー・ウィンドウが必要な設定・オプションの誤り\n";
inline constexpr const char* kDizorUsage =
    "使い方: dizor [オプション] [--] [書庫...]\n"
    "書庫を一つずつ、設定どおりのフォルダへ解凍します。書庫を渡さないときは設定画面を開きます。\n"
    "\n"
    "  -h, --help     この説明を表示して終了します\n"
    "      --version  バージョンを表示して終了します\n"
    "  --             これより後ろの引数はすべて書庫です（「-」で始まる名前の書庫に）\n"
    "\n"
    "終了コード: 0 失敗なし、1 解凍できなかった書庫がある、\n"
    "            2 ウィンドウが必要なのに表示できない・オプションの誤り\n";
// "<program>: 不明なオプションです: --foo", then the usage.
inline constexpr const char* kCliUnknownOption = "不明なオプションです: ";

// The Qt desktop program.
inline constexpr const char* kQtNoWindow = "ウィンドウを表示できません。";
inline constexpr const char* kQtNoDisplay =
    "画面がありません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。";
inline constexpr const char* kQtModuleMissing = "画面表示の部品を読み込めませんでした: ";
// Followed by the variable that names the display, as "DISPLAY=:99".
inline constexpr const char* kQtDisplayUnreachable = "画面に接続できません: ";
// The display answers but will not let this program in (no cookie for it), as "DISPLAY=:0".
inline constexpr const char* kQtDisplayRefused = "画面への接続を拒否されました: ";

// The Windows program (Dizor-K.exe).
inline constexpr const char* kWin32NoWindow = "ウィンドウを作成できませんでした。";

}  // namespace texts

#endif  // DIZOR_SUPPORT_TEXTS_H_
