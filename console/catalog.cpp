#include "console/catalog.h"

#include <charconv>
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
    /* 43 */
    {"Invalid UTF-8 byte 0x{f0>2X}: save the file as UTF-8 or UTF-16",
     "UTF-8として不正なバイト 0x{f0>2X} です: UTF-8かUTF-16で保存してください"},
    /* 44 */ {"The file ends in the middle of a character", "文字の途中でファイルが終わっています"},
    /* 45 */
    {"NUL character: the CSV file cannot be read past it",
     "NUL文字です: CSVファイルはこれより先を読めません"},
    /* 46 */
    {"Carriage return without a line feed: records end only at CR LF",
     "LFのないCRです: レコードはCR LFでのみ終わります"},
    /* 47 */
    {"Text after a closing quote: a quote inside a quoted field is written twice (\"\")",
     "閉じ引用符の後に文字があります: 引用符で囲んだフィールド内の引用符は2つ重ねて(\"\")書きます"},
    /* 48 */
    {"This quote is never closed: the file ends inside the quoted field",
     "この引用符は閉じられていません: 引用符で囲んだフィールドの途中でファイルが終わっています"},
    /* 49 */
    {"No CR LF line ends in the file: records end only at CR LF, so every line is read into the "
     "header row",
     "ファイルにCR LFの改行がありません: レコードはCR LFでのみ終わるため，すべての行がヘッダ行として"
     "読まれます"},
    /* 50 */
    {"This record has {} fields and the header {}: the extra ones are dropped",
     "このレコードのフィールド数は{}，ヘッダは{}です: 余分なフィールドは捨てられます"},
    /* 51 */
    {"This record has {} fields and the header {}: the missing ones are read as empty",
     "このレコードのフィールド数は{}，ヘッダは{}です: 足りないフィールドは空として読まれます"},
    /* 52 */
    {"No field for argument {} here, but the \"{}\" text has one",
     "ここには引数{}のフィールドがありませんが，\"{}\"のテキストにはあります"},
    /* 53 */
    {"Field for argument {} here, but the \"{}\" text has none",
     "ここには引数{}のフィールドがありますが，\"{}\"のテキストにはありません"},
    /* 54 */
    {"Colour tags: {} here, {} in the \"{}\" text",
     "カラータグ: ここに{}個，\"{2}\"のテキストに{1}個"},
    /* 55 */
    {"Typeface tags: {} here, {} in the \"{}\" text",
     "書体タグ: ここに{}個，\"{2}\"のテキストに{1}個"},
    /* 56 */
    {"Ruby tags: {} here, {} in the \"{}\" text",
     "ルビタグ: ここに{}個，\"{2}\"のテキストに{1}個"},
    /* 57 */
    {"Empty: the \"{}\" text is used in its place", "空です: 代わりに\"{}\"のテキストが使われます"},
    /* 58 */
    {"Empty texts of \"{}\" that use the \"{}\" text: {}",
     "空のため\"{1}\"のテキストが使われる\"{0}\"のテキスト: {2}個"},
    /* 59 */
    {"Text in a row without an identifier: the row is skipped",
     "識別子のない行にテキストがあります: この行は読み飛ばされます"},
    /* 60 */ {"Identifier \"{}\" is already on line {}", "識別子\"{}\"は{}行目にもあります"},
    /* 61 */
    {"Identifier \"{}\" has the hash 0x{f0>8X} of \"{}\" on line {}: try --hash-seed auto",
     "識別子\"{0}\"のハッシュ値0x{1f0>8X}は{3}行目の\"{2}\"と同じです: --hash-seed autoを試してください"},
    /* 62 */
    {"Language \"{}\" writes the file {} of language \"{}\" in column {}",
     "言語\"{0}\"は{3}列目の言語\"{2}\"と同じファイル{1}に書き込みます"},
    /* 63 */
    {"Language \"{}\" writes {}, the file of the identifier list",
     "言語\"{}\"は識別子リストのファイル{}に書き込みます"},
    /* 64 */ {"Language \"{}\" is already in column {}", "言語\"{}\"は{}列目にもあります"},
    /* 65 */
    {"Language \"{}\" has the hash 0x{f0>8X} of \"{}\" in column {}",
     "言語\"{0}\"のハッシュ値0x{1f0>8X}は{3}列目の\"{2}\"と同じです"},
    /* 66 */
    {"This name holds the control character U+{f0>4X}, which breaks its line in the generated "
     "files",
     "この名前は制御文字U+{f0>4X}を含み，生成ファイルでその行が崩れます"},
    /* 67 */
    {"Identifier \"{}\" holds \"*/\", which ends its comment in the message tables of source "
     "output",
     "識別子\"{}\"は\"*/\"を含み，ソース出力のメッセージテーブルでコメントが終わってしまいます"},
    /* 68 */
    {"\"{}\" is no C++ identifier, so the generated include files do not compile with it",
     "\"{}\"はC++の識別子ではないため，生成されるインクルードファイルがコンパイルできません"},
    /* 69 */
    {"Column {} has texts but no language ID: they are never read",
     "{}列目にはテキストがありますが言語IDがありません: 読み込まれません"},
    /* 70 */
    {"No hash seed keeps all identifiers apart", "すべての識別子を区別できるハッシュのシード値がありません"},
    /* 71 */
    {"Unknown colour name \"{}\": indexed output ignores this tag",
     "不明なカラーネーム\"{}\"です: インデックス出力ではこのタグは無視されます"},
    /* 72 */
    {"Typeface \"{}\" is not supported: indexed output ignores this tag",
     "書体\"{}\"には対応していません: インデックス出力ではこのタグは無視されます"},
    /* 73 */
    {"Unknown command name \"{}\": the run stops at this line",
     "不明なコマンド名\"{}\"です: 実行はこの行で止まります"},
    /* 74 */
    {"OUTPUT_NAME has no file name: the run stops at this line",
     "OUTPUT_NAMEにファイル名がありません: 実行はこの行で止まります"},
    /* 75 */
    {"Unknown condition \"{}\": it is taken as FALSE",
     "不明な条件\"{}\"です: FALSEとして扱われます"},
    /* 76 */
    {"Language ID \"{}\" is not in the CSV header: the run fails here",
     "言語ID\"{}\"はCSVのヘッダーにありません: 実行はここで失敗します"},
    /* 77 */
    {"MESSAGE_LIST is not supported by binary output: it writes no lines here",
     "MESSAGE_LISTはバイナリ出力では使えません: ここには何も書かれません"},
    /* 78 */
    {"{} (U+{f0>4X}) is not in the character list of typeface \"{}\" that this text is encoded "
     "with: an indexed run fails here",
     "{} (U+{f0>4X})は，このテキストのエンコードに使われる書体\"{}\"の文字リストにありません: "
     "インデックス出力の実行はここで失敗します"},
    /* 79 */
    {"Typeface \"{}\" has no character list, as no text is counted under it: an indexed run "
     "fails here",
     "書体\"{}\"で数えられるテキストがないため，文字リストがありません: "
     "インデックス出力の実行はここで失敗します"},
    /* 80 */
    {"Character list \"{1}\" of table \"{0}\" holds {2} characters; at most 53248 can be "
     "indexed: an indexed run fails",
     "テーブル\"{0}\"の文字リスト\"{1}\"は{2}文字です．インデックス化できるのは53248文字までです: "
     "インデックス出力の実行は失敗します"},
    /* 81 */
    {"Language \"{}\" holds a path separator or a character no file name may hold: the run "
     "refuses to write its file {} and fails here",
     "言語\"{}\"にはパスの区切り文字かファイル名に使えない文字があります: "
     "実行はそのファイル{}を書き込まずにここで失敗します"},
    /* 82 */
    {"OUTPUT_NAME holds a zero byte: the run cannot open the file it names and fails",
     "OUTPUT_NAMEにゼロバイトがあります: 実行は指定されたファイルを開けずに失敗します"},
    /* 83 */
    {"Column {} has no language ID: LANGUAGE_LIST writes a line without a name for it",
     "{}列目には言語IDがありません: LANGUAGE_LISTはその列に名前のない行を書きます"},
    /* 84 */
    {"The output {} is a file this run reads or has written: it is not overwritten",
     "出力{}はこの実行で読み込むか書き込んだファイルです: 上書きしません"},
    /* 85 */
    {"Language \"{}\" gives its file {} a name longer than the output folder allows: the run "
     "fails to write it",
     "言語\"{}\"のファイル{}の名前は出力フォルダーで使える長さを超えています: "
     "実行はこのファイルの書き込みに失敗します"},
    /* 86 */
    {"OUTPUT_NAME names a file {} longer than its folder allows: the run cannot open it and fails",
     "OUTPUT_NAMEのファイル{}の名前はフォルダーで使える長さを超えています: "
     "実行はこのファイルを開けずに失敗します"},
    /* 87 */
    {"The replaced file {} is a file this run reads or has written before it: the run does not "
     "overwrite it and fails",
     "置換後のファイル{}はこの実行がそれより前に読み込むか書き込むファイルです: "
     "実行は上書きせずに失敗します"},
    /* 88 */
    {"The output {} is a file this run reads, or a link to another of its outputs: the run does "
     "not write it and fails",
     "出力{}はこの実行が読み込むファイルか，ほかの出力へのリンクです: "
     "実行は書き込まずに失敗します"},
};
static_assert(std::size(kCatalog) == static_cast<std::size_t>(Msg::CheckOutputIsRunFile) + 1);

constexpr const char* kInvalidMessage = "** INVALID MESSAGE **";

const char* CatalogText(std::int32_t index, bool japanese) {
  if (index < 0 || static_cast<std::size_t>(index) >= std::size(kCatalog)) return kInvalidMessage;
  return japanese ? kCatalog[index].japanese : kCatalog[index].english;
}

// The numbered messages, 0 to 37, are those asked for by number; the texts after them are
// reached through Msg only, so that every number past 37 stays invalid whatever is added.
constexpr std::int32_t kNumberedMessages = static_cast<std::int32_t>(Msg::UsingHashSeed) + 1;

std::string Lookup(std::int32_t index, const FormatArgs& args) {
  std::string text = FormatString(CatalogText(index, useJapanese), args);
  // Asked on every call: only the console's encoding decides whether the text is converted.
  if (platform::GetMultibyteCodePage() != 932) return text;
  std::string shiftJis;
  if (ToShiftJis(text, &shiftJis)) return shiftJis;
  // An argument that is not UTF-8 (a file name in another encoding) cannot be converted; the
  // English text keeps at least the catalog's part readable.
  return FormatString(CatalogText(index, false), args);
}

}  // namespace

FormatArg PathArg(const platform::Path& path) {
  return FormatArg::OfString(platform::PathToUtf8(path));
}

std::string GetMessage(std::int32_t index, const FormatArgs& args) {
  return Lookup(index < kNumberedMessages ? index : -1, args);
}

std::string GetMessage(Msg message, const FormatArgs& args) {
  return Lookup(static_cast<std::int32_t>(message), args);
}

namespace {
int silences = 0;  // ConsoleSilence objects alive
}  // namespace

ConsoleSilence::ConsoleSilence() { ++silences; }
ConsoleSilence::~ConsoleSilence() { --silences; }

// Printed through "%s", so a zero byte inside a text ends what is shown, as for any C string.
// Standard output is flushed first so that a step's progress line stays ahead of its error when
// both streams go to one pipe or log.
void PrintError(Msg message, const FormatArgs& args) {
  if (silences != 0) return;
  std::fflush(stdout);
  std::fprintf(stderr, "Error: %s\n", GetMessage(message, args).c_str());
}

void PrintWarning(Msg message, const FormatArgs& args) {
  if (silences != 0) return;
  std::fflush(stdout);
  std::fprintf(stderr, "Warning: %s\n", GetMessage(message, args).c_str());
}

void PrintLine(Msg message, const FormatArgs& args) {
  if (silences != 0) return;
  std::fprintf(stdout, "%s\n", GetMessage(message, args).c_str());
}

void PrintOutOfMemory() {
  try {
    PrintError(Msg::OutOfMemory);
  } catch (const std::bad_alloc&) {
    std::fputs("Error: Out of memory.\n", stderr);
  }
}

DiagnosticPrinter::DiagnosticPrinter() : shiftJis_(platform::GetMultibyteCodePage() == 932) {}

void DiagnosticPrinter::Print(std::string_view file, std::uint32_t line, std::uint32_t column,
                              bool error, Msg message, const FormatArgs& args,
                              std::string_view check) {
  auto compose = [&](bool japanese) {
    line_.assign(file);
    for (std::uint32_t number : {line, column}) {
      char digits[16];
      line_ += ':';
      line_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    }
    line_ += error ? ": error: " : ": warning: ";
    AppendFormatted(&line_, CatalogText(static_cast<std::int32_t>(message), japanese), args);
    line_ += " [";
    line_ += check;
    line_ += ']';
  };
  compose(useJapanese);
  // The whole line is converted at once, like any other message, so the file name too.
  if (shiftJis_) {
    std::string shiftJis;
    if (ToShiftJis(line_, &shiftJis)) {
      line_ = std::move(shiftJis);
    } else {
      compose(false);
    }
  }
  // A name may hold a line break: shown as is, it would split the finding over lines that
  // editors and CI read one at a time. A zero byte would end the line before its check. Escaped
  // after the conversion, which makes them of overlong forms too; no Shift_JIS trail byte is one.
  if (line_.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    std::string escaped;
    for (char c : line_) {
      if (c == '\n') {
        escaped += "\\n";
      } else if (c == '\r') {
        escaped += "\\r";
      } else if (c == '\0') {
        escaped += "\\0";
      } else {
        escaped += c;
      }
    }
    line_ = std::move(escaped);
  }
  pending_ += line_;
  pending_ += '\n';
  constexpr std::size_t kHeldBytes = 64 * 1024;
  if (pending_.size() >= kHeldBytes) Flush();
}

void DiagnosticPrinter::Flush() {
  if (pending_.empty()) return;
  std::fflush(stdout);
  std::fwrite(pending_.data(), 1, pending_.size(), stderr);
  pending_.clear();
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
  return WriteOutputFile(path, mode, [bytes](OutputFile& file) { file.Write(bytes); });
}

bool WriteOutputFile(const platform::Path& path, const char* mode,
                     const std::function<void(OutputFile&)>& produce) {
  OutputFile file;
  if (!file.Open(path, mode)) return false;
  produce(file);
  return CommitOutput(file);
}

}  // namespace quillex
