#include "console/catalog.h"

#include <cstdio>
#include <iterator>
#include <new>

#include "console/shift_jis.h"
#include "platform/platform.h"

namespace quillex {

bool useJapanese = false;

namespace {

// Lines joined by line feeds, none after the last: printing adds it.
constexpr const char* kUsageEnglish =
    "CSV to message converter\n"
    "\n"
    "Usage:\n"
    "\n"
    "  zorb-quillex [CSV-filename]\n"
    "        \n"
    "Options:\n"
    "\n"
    "  --indexing or --indexing-all\n"
    "    Export messages to indexed string by languages.\n"
    "    If --indexing-all is specified, a common table is used for all languages.\n"
    "    Ignored when exporting source code.\n"
    "\n"
    "  -o or --output:\n"
    "    Specifies the output directory.\n"
    "    If not specified, the current directory is specified.\n"
    "\n"
    "  -p or --prefix:\n"
    "    Specifies the prefix of the output file.\n"
    "    If not specified, \"msg\" will be specified.\n"
    "\n"
    "  -s or --source:\n"
    "    Outputs in source code.\n"
    "\n"
    "  -v or --version:\n"
    "    Display the version information and exit.\n"
    "\n"
    "  --help:\n"
    "    Display this help.";

constexpr const char* kUsageJapanese =
    "CSV to メッセージコンバータ\n"
    "\n"
    "使用方法:\n"
    "\n"
    "    zorb-quillex [CSV-filename]\n"
    "        \n"
    "オプション:\n"
    "\n"
    "  --indexing or --indexing-all\n"
    "    メッセージを言語ごとにインデックス化して出力します．\n"
    "    --indexing-allを指定した場合，全ての言語で共通のテーブルを使用します．\n"
    "    ソースコード出力時には無視されます．\n"
    "\n"
    " -o or --output:\n"
    "    出力ディレクトリを指定します．\n"
    "    未指定の場合はカレントディレクトリが指定されます．\n"
    "\n"
    "  -p or --prefix:\n"
    "    出力ファイルのプリフィックスを指定します．\n"
    "    未指定の場合は\"msg\"が指定されます．\n"
    "\n"
    "  -s or --source:\n"
    "    ソースコードで出力します．\n"
    "\n"
    "  -v or --version:\n"
    "    バージョン情報を表示して終了します．\n"
    "\n"
    "  --help:\n"
    "   このヘルプを表示します．";

struct CatalogEntry {
  const char* english;
  const char* japanese;
};

// Indexed by catalog number; every text is UTF-8.
constexpr CatalogEntry kCatalog[] = {
    /* 0 */ {"Detect unknown typeface name: {}", "不明な書体名を検出: {}"},
    /* 1 */
    {"An unsupported color name is detected. This tag is ignored: {}\n  -> {}: {}: {}",
     "未対応のカラーネームを検出しました．このタグは無視されます: {}\n  -> {}: {}: {}"},
    /* 2 */
    {"An unsupported reset tag is detected. This tag is ignored: {}\n  -> {}: {}: {}",
     "未対応のリセットタグを検出しました．このタグは無視されます: {}\n  -> {}: {}: {}"},
    /* 3 */
    {"Unsupported typeface name detected. This tag is ignored: {}\n  -> {}: {}: {}",
     "未対応の書体名を検出しました．このタグは無視されます: {}\n  -> {}: {}: {}"},
    /* 4 */ {"Execute text replace: {} -> {}", "テキスト置換を実行: {} -> {}"},
    /* 5 */ {"Failed to build message pool.", "メッセージプールの構築に失敗しました．"},
    /* 6 */ {"Failed to build offset pool.", "オフセットプールの構築に失敗しました．"},
    /* 7 */
    {"Failed to create message identifier list: {}_id.inc",
     "メッセージIDリストの生成に失敗しました: {}_id.inc"},
    /* 8 */ {"Failed to open file: {}", "{}をオープンできませんでした．"},
    /* 9 */ {"Failed to output binary file: {}", "バイナリファイルの出力に失敗しました: {}"},
    /* 10 */
    {"Failed to output language name hash table: {}", "言語名のハッシュ値の出力に失敗しました: {}"},
    /* 11 */
    {"Failed to output message identifier hash table: {}",
     "メッセージIDのハッシュ値の出力に失敗しました: {}"},
    /* 12 */
    {"Failed to output the list of using characters: {}", "使用文字リストの出力に失敗しました: {}"},
    /* 13 */ {"Failed to read CSV file: {}", "CSVファイルの読み込みに失敗しました: {}"},
    /* 14 */ {"Failed to read file: {}", "{}の読み込みに失敗しました．"},
    /* 15 */
    {"Hash value collision detected: {} = {} (0x{f0>8X})",
     "ハッシュ値の衝突を検出しました: {} = {} (0x{f0>8X})"},
    /* 16 */ {kUsageEnglish, kUsageJapanese},
    /* 17 */ {"Input file is not specified.", "入力ファイルが未指定です．"},
    /* 18 */ {"Invalid hash seed value specified: {}", "ハッシュ値の指定が不正です: {}"},
    /* 19 */
    {"{}: {}: Language ID \"{}\" is not found.", "{}: {}: 言語ID \"{}\" が見つかりませんでした．"},
    /* 20 */ {"Multiple input files are specified.", "入力ファイルが複数指定されています．"},
    /* 21 */
    {"A file to replace was specified, but no replacement was performed.",
     "置換するファイルが指定されましたが，置換が行われませんでした．"},
    /* 22 */
    {"{}: {}: Output name was not specified.", "{}: {}: 出力ファイル名が指定されていません．"},
    /* 23 */
    {"The source code output does not support indexed strings.",
     "ソースコードでの出力はインデックス文字列に対応していません．"},
    /* 24 */
    {"{}: {}: The replace command {} does not support binary output.",
     "{}: {}: 置換コマンド {} はバイナリ出力に対応していません．"},
    /* 25 */
    {"{}: {}: The replace command {} does not support source output.",
     "{}: {}: 置換コマンド {} はソース出力に対応していません．"},
    /* 26 */ {"Output binary file: {}", "バイナリファイルを出力: {}"},
    /* 27 */ {"Output buffer overflow detected.", "出力バッファのオーバーフローを検出しました．"},
    /* 28 */ {"Output language name list: {}", "言語名リストを出力: {}"},
    /* 29 */ {"Output message identifier list: {}", "メッセージIDリストを出力: {}"},
    /* 30 */ {"Output message table: {}", "メッセージテーブルを出力: {}"},
    /* 31 */ {"Output list of using characters: {}", "使用文字リストを出力: {}"},
    /* 32 */ {"Parameters is missing: {}", "パラメータが不足しています: {}"},
    /* 33 */ {"Succeeded.", "成功．"},
    /* 34 */ {"{}: {}: Unknown command name: {}", "{}: {}: 不明なコマンド名です: {}"},
    /* 35 */
    {"{}: {}: An unknown condition was specified. This value sets 0: {}",
     "{}: {}: 不明な条件が指定されました．この値は0に設定されます: {}"},
    /* 36 */
    {"Unregistered character detected.: {} (U+{f0>4X})",
     "未登録の文字を検出しました: {} (U+{f0>4X})"},
    /* 37 */ {"Using hash seed value: 0x{f0>8X}", "ハッシュのシード値: 0x{f0>8X}"},
    /* 38 */ {"Failed to write file: {}", "ファイルの書き込みに失敗しました: {}"},
    /* 39 */ {"Failed to output message table: {}", "メッセージテーブルの出力に失敗しました: {}"},
    /* 40 */
    {"Too many characters to index: {} ({}) holds {} characters; at most 53248 can be indexed.",
     "インデックス化できる文字数を超えました: {} ({}) "
     "は{}文字です．インデックス化できるのは53248文字までです．"},
    /* 41 */
    {"Message table would overwrite the message identifier list: {}",
     "メッセージテーブルがメッセージIDリストを上書きします: {}"},
    /* 42 */ {"Out of memory.", "メモリが不足しています．"},
};
static_assert(std::size(kCatalog) == static_cast<std::size_t>(Msg::OutOfMemory) + 1);

constexpr const char* kInvalidMessage = "** INVALID MESSAGE **";

const char* CatalogText(std::int32_t index, bool japanese) {
  if (index < 0 || static_cast<std::size_t>(index) >= std::size(kCatalog)) return kInvalidMessage;
  return japanese ? kCatalog[index].japanese : kCatalog[index].english;
}

}  // namespace

std::string GetMessage(std::int32_t index, const FormatArgs& args) {
  std::string text = FormatString(CatalogText(index, useJapanese), args);
  // Asked on every call: only the console's encoding decides whether the text is converted.
  if (platform::GetMultibyteCodePage() != 932) return text;
  std::string shiftJis;
  if (ToShiftJis(text, &shiftJis)) return shiftJis;
  // An argument that is not UTF-8 (a file name in another encoding) cannot be converted; the
  // English text keeps at least the catalog's part readable.
  return FormatString(CatalogText(index, false), args);
}

FormatArg PathArg(const platform::Path& path) {
  return FormatArg::OfString(platform::PathToUtf8(path));
}

std::string GetMessage(Msg message, const FormatArgs& args) {
  return GetMessage(static_cast<std::int32_t>(message), args);
}

// Printed through "%s", so a zero byte inside a text ends what is shown, as for any C string.
// Standard output is flushed first so that a step's progress line stays ahead of its error when
// both streams go to one pipe or log.
void PrintError(Msg message, const FormatArgs& args) {
  std::fflush(stdout);
  std::fprintf(stderr, "Error: %s\n", GetMessage(message, args).c_str());
}

void PrintWarning(Msg message, const FormatArgs& args) {
  std::fflush(stdout);
  std::fprintf(stderr, "Warning: %s\n", GetMessage(message, args).c_str());
}

void PrintLine(Msg message, const FormatArgs& args) {
  std::fprintf(stdout, "%s\n", GetMessage(message, args).c_str());
}

void PrintOutOfMemory() {
  try {
    PrintError(Msg::OutOfMemory);
  } catch (const std::bad_alloc&) {
    std::fputs("Error: Out of memory.\n", stderr);
  }
}

bool CommitOutput(OutputFile& file) {
  switch (file.Commit()) {
    case CommitResult::Committed:
      return true;
    case CommitResult::WriteFailed:
      PrintError(Msg::FailedToWriteFile, {PathArg(file.Target())});
      return false;
    case CommitResult::NotReplaced:
      break;
  }
  return false;
}

bool WriteOutputFile(const platform::Path& path, const char* mode, std::string_view bytes) {
  OutputFile file;
  if (!file.Open(path, mode)) return false;
  file.Write(bytes);
  return CommitOutput(file);
}

}  // namespace quillex
