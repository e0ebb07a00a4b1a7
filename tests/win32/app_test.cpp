// The window program's resources and handlers, inside the program's own
// process: dialog templates, menus, icons, version information, manifest,
// the busy state and the drop handler.

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/app.h"
#include "app/resource.h"
#include "app_settings.h"
#include "tests/test_support.h"
#include "tests/win32/window_driver.h"

namespace karuto::app {
namespace {

std::string_view ResourceBytes(LPCWSTR type, LPCWSTR name)
{
    const HRSRC found = FindResourceW(nullptr, name, type);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(nullptr, found);
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

// One control or the dialog itself, as its template describes it.
struct TemplateItem {
    int id;
    std::wstring kind;  // class in capitals: "BUTTON", "EDIT", "STATIC", "LISTBOX"
    DWORD style;
    std::wstring text;
    short x, y, width, height;
    bool operator==(const TemplateItem&) const = default;
};

void PrintTo(const TemplateItem& item, std::ostream* out)
{
    const auto utf8 = [](const std::wstring& text) {
        std::string bytes(text.size() * 3, '\0');
        bytes.resize(static_cast<std::size_t>(
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
        return bytes;
    };
    *out << "{id " << item.id << ", " << utf8(item.kind) << " \"" << utf8(item.text)
         << "\", style 0x" << std::hex << item.style << std::dec << ", "
         << item.x << "," << item.y << "," << item.width << "," << item.height << "}";
}

struct DialogTemplate {
    DWORD style = 0;
    short width = 0, height = 0;
    int menu = 0;
    std::wstring title, font;
    int pointSize = 0;
    std::vector<TemplateItem> items;
};

// Reads a classic dialog template (DLGTEMPLATE and DLGITEMTEMPLATE records).
struct TemplateReader {
    const WORD* at;

    WORD Word() { return *at++; }
    DWORD Dword()
    {
        DWORD value = 0;
        std::memcpy(&value, at, sizeof value);
        at += 2;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring String()
    {
        std::wstring text;
        while (*at) text.push_back(static_cast<wchar_t>(*at++));
        ++at;
        return text;
    }
    // A name or an ordinal (0xFFFF followed by the number).
    std::wstring NameOrOrdinal(int* ordinal = nullptr)
    {
        if (*at == 0xFFFF) {
            ++at;
            const WORD number = Word();
            if (ordinal) *ordinal = number;
            return L"#" + std::to_wstring(number);
        }
        return String();
    }
    void AlignToDword(const void* base)
    {
        const auto offset = reinterpret_cast<const char*>(at) - static_cast<const char*>(base);
        if (offset % 4) ++at;
    }
};

// Class names compare without case; the predefined classes may come as atoms.
std::wstring ClassOfAtom(std::wstring name)
{
    if (name == L"#128") return L"BUTTON";
    if (name == L"#129") return L"EDIT";
    if (name == L"#130") return L"STATIC";
    if (name == L"#131") return L"LISTBOX";
    CharUpperW(name.data());
    return name;
}

DialogTemplate ReadDialogTemplate(int id)
{
    const std::string_view bytes = ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(id));
    DialogTemplate dialog;
    if (bytes.empty()) return dialog;
    TemplateReader reader{reinterpret_cast<const WORD*>(bytes.data())};
    dialog.style = reader.Dword();
    reader.Dword();  // extended style
    const WORD count = reader.Word();
    reader.Short();
    reader.Short();
    dialog.width = reader.Short();
    dialog.height = reader.Short();
    reader.NameOrOrdinal(&dialog.menu);
    reader.NameOrOrdinal();
    dialog.title = reader.String();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        dialog.font = reader.String();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignToDword(bytes.data());
        TemplateItem item{};
        item.style = reader.Dword();
        reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.width = reader.Short();
        item.height = reader.Short();
        item.id = static_cast<short>(reader.Word());
        item.kind = ClassOfAtom(reader.NameOrOrdinal());
        item.text = reader.NameOrOrdinal();
        reader.at += reader.Word() / 2;  // creation data
        dialog.items.push_back(item);
    }
    return dialog;
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kButton = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kField = kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kWindowStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                               WS_MINIMIZEBOX;

TEST(DialogTemplates, TheStartScreen)
{
    const DialogTemplate dialog = ReadDialogTemplate(IDD_START_SCREEN);
    EXPECT_EQ(dialog.style, kWindowStyle | DS_CENTER);
    EXPECT_EQ(std::make_tuple(dialog.width, dialog.height), std::make_tuple(short{320}, short{315}));
    EXPECT_EQ(dialog.title, KARUTO_TITLE);
    EXPECT_EQ(dialog.font, L"MS UI Gothic");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.menu, IDR_START_MENU);
    const std::vector<TemplateItem> expected = {
        {IDC_VIEW_TERMS, L"BUTTON", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP,
         L"利用規約を確認する", 60, 117, 200, 30},
        {IDC_AGREE, L"BUTTON", kButton | WS_GROUP, L"利用規約に同意の上利用する", 60, 157, 200, 30},
    };
    EXPECT_EQ(dialog.items, expected);
}

TEST(DialogTemplates, TheMainWindow)
{
    const DialogTemplate dialog = ReadDialogTemplate(IDD_MAIN_WINDOW);
    EXPECT_EQ(dialog.style, kWindowStyle);
    EXPECT_EQ(std::make_tuple(dialog.width, dialog.height), std::make_tuple(short{320}, short{315}));
    EXPECT_EQ(dialog.title, KARUTO_TITLE);
    EXPECT_EQ(dialog.font, L"MS UI Gothic");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.menu, IDR_MAIN_MENU);
    const std::wstring step3 = L"③②で作成した「PC→iPhone.vcf」をメールに添付してiPhone宛（@" KARUTO_MAIL_DOMAIN
                               L"）に\n\u3000 送信して下さい。 ※添付するファイルを間違えないようにご注意下さい。";
    const std::vector<TemplateItem> expected = {
        {-1, L"STATIC", kLabel, L"変換元ファイル(vCard)", 7, 7, 40, 17},
        {-1, L"STATIC", kLabel, L"添付用ファイル(vCard)", 7, 43, 40, 17},
        {-1, L"STATIC", kLabel, L"メッセージ", 7, 125, 30, 8},
        {-1, L"STATIC", kLabel, L"操作手順", 7, 185, 30, 8},
        {IDC_INPUT_PATH, L"EDIT", kField, L"", 50, 11, 206, 12},
        {IDC_BROWSE, L"BUTTON", kButton, L"参照", 263, 7, 50, 20},
        {IDC_OUTPUT_PATH, L"EDIT", kField | ES_READONLY, L"", 50, 47, 206, 12},
        {IDC_START, L"BUTTON", kButton, L"変換開始", 50, 80, 195, 30},
        {IDC_MESSAGES, L"LISTBOX",
         kChild | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL | WS_TABSTOP, L"", 50,
         125, 195, 50},
        {IDC_EXIT, L"BUTTON", kButton, L"終了", 263, 125, 50, 30},
        {-1, L"BUTTON", kChild | BS_GROUPBOX, L"", 50, 180, 260, 108},
        {IDC_STEP_1, L"STATIC", kLabel,
         L"①変換元ファイルの【参照】ボタンをクリックして変換するファイル(.vcfファイル)を選択して下さい。"
         L"\n\u3000 または変換するファイルをドラッグ＆ドロップして下さい。",
         55, 190, 250, 16},
        {IDC_STEP_2, L"STATIC", kLabel,
         L"②【変換開始】ボタンをクリックし、変換処理を実行して下さい。"
         L"\n\u3000 変換元ファイルと同じフォルダに「PC→iPhone.vcf」ファイルが作成されます。",
         55, 207, 250, 16},
        {IDC_STEP_3, L"STATIC", kLabel, step3, 55, 224, 250, 16},
        {IDC_PHONE_STEPS, L"STATIC", kLabel, L"以下、iPhoneでの操作手順となります。", 55, 248, 250, 8},
        {IDC_STEP_4, L"STATIC", kLabel,
         L"④受信したEメールの添付ファイルをタップし、「○件すべての連絡先を追加」、"
         L"\n\u3000 「新規連絡先を作成」の順にタップして連絡先に追加して下さい。",
         55, 257, 250, 16},
        {IDC_STEP_5, L"STATIC", kLabel,
         L"⑤iPhoneの「連絡先」にアドレス帳データが書き込まれていることを確認して下さい。", 55, 274,
         250, 8},
    };
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(dialog.items[i], expected[i]) << "control " << i;
    }
}

// A menu's items; a pull-down menu's items follow its own, indented.
std::vector<std::pair<UINT, std::wstring>> MenuItems(HMENU menu, const std::wstring& indent = L"")
{
    std::vector<std::pair<UINT, std::wstring>> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        items.emplace_back(GetMenuItemID(menu, i), indent + text);
        if (const HMENU pullDown = GetSubMenu(menu, i)) {
            for (const auto& item : MenuItems(pullDown, indent + L"  ")) items.push_back(item);
        }
    }
    return items;
}

std::vector<std::pair<UINT, std::wstring>> MenuItems(int id)
{
    const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    auto items = MenuItems(menu);
    DestroyMenu(menu);
    return items;
}

TEST(Menus, AreBarsOfCommandItemsAndTheChoiceOfForm)
{
    using Items = std::vector<std::pair<UINT, std::wstring>>;
    constexpr UINT kPullDown = static_cast<UINT>(-1);
    EXPECT_EQ(MenuItems(IDR_MAIN_MENU),
              (Items{{IDM_EXIT, L"終了"}, {IDM_HOME_PAGE, L"Orvoホームページ"}, {IDM_TERMS, L"利用規約"},
                     {kPullDown, L"出力形式"},
                     {IDM_FORM_IPHONE, L"  iPhone にメールで送る（PC→iPhone.vcf）"},
                     {IDM_FORM_ICLOUD, L"  iCloud.com・Google に読み込む（PC→iCloud.vcf）"},
                     {IDM_REPORT, L"変換レポート"}}));
    EXPECT_EQ(MenuItems(IDR_START_MENU),
              (Items{{IDM_EXIT, L"終了"}, {IDM_HOME_PAGE, L"Orvoホームページ"}}));
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

std::set<std::pair<int, int>> IconImages(int group)
{
    const std::string_view bytes = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(group));
    std::set<std::pair<int, int>> images;
    if (bytes.size() < 6) return images;
    WORD count = 0;
    std::memcpy(&count, bytes.data() + 4, 2);
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry{};
        std::memcpy(&entry, bytes.data() + 6 + i * sizeof entry, sizeof entry);
        images.emplace(entry.width, entry.bitCount);
    }
    EXPECT_EQ(images.size(), count) << "group " << group << " repeats an image";
    return images;
}

TEST(Icons, BothGroupsHoldSixImagesAndTheFirstIsTheProgramIcon)
{
    const std::set<std::pair<int, int>> expected = {{16, 8}, {32, 8}, {48, 8},
                                                    {16, 32}, {32, 32}, {48, 32}};
    EXPECT_EQ(IconImages(IDI_PROGRAM), expected);
    EXPECT_EQ(IconImages(IDI_WINDOW), expected);
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesW(
        nullptr, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
            reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(
                reinterpret_cast<ULONG_PTR>(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups.front(), static_cast<ULONG_PTR>(IDI_PROGRAM));
}

TEST(VersionInformation, IsOnePointOneAndNamesTheProduct)
{
    const std::string_view resource = ResourceBytes(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(resource.empty());
    std::string copy(resource);  // the query may write into its buffer
    copy.resize(copy.size() * 2);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    wchar_t* name = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\StringFileInfo\\041104B0\\ProductName",
                               reinterpret_cast<void**>(&name), &size));
    EXPECT_EQ(std::wstring(name), L"Karuto");
}

TEST(Manifest, AsksForCommonControlsSixInvokerRightsAndSystemDpiAwareness)
{
    const std::string_view manifest =
        ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "level=\"asInvoker\"", ">true</dpiAware>"}) {
        EXPECT_NE(manifest.find(part), std::string_view::npos) << part;
    }
}

// The main window, created in this process without its modal loop.
struct MainWindow {
    HWND window;
    MainWindow()
    {
        AppInstance = GetModuleHandleW(nullptr);
        window = CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                                    MainDialogProc, 0);
    }
    ~MainWindow() { DestroyWindow(window); }
    std::wstring Field(int id) const
    {
        const PathString text = ReadControlText(window, id);
        return std::wstring(text.begin(), text.end());
    }
};

TEST(SetBusy, DisablesEveryControlAndGreysTheMenuThenRestoresThem)
{
    MainWindow main;
    ASSERT_NE(main.window, nullptr);
    EXPECT_TRUE(GetMenuState(GetMenu(main.window), IDM_REPORT, MF_BYCOMMAND) & MF_GRAYED);
    const auto controls = driver::Children(main.window);
    ASSERT_EQ(controls.size(), 17u);
    for (const bool enable : {false, true, false, true}) {
        SetBusy(enable, main.window);
        for (HWND control : controls) {
            EXPECT_EQ(IsWindowEnabled(control) != 0, enable) << GetDlgCtrlID(control);
        }
        for (const UINT item : {IDM_EXIT, IDM_HOME_PAGE, IDM_TERMS, IDM_FORM_IPHONE, IDM_FORM_ICLOUD}) {
            const UINT state = GetMenuState(GetMenu(main.window), item, MF_BYCOMMAND);
            EXPECT_EQ((state & MF_GRAYED) != 0, !enable) << item;
        }
        // No conversion has read a book: there is no report to open.
        EXPECT_TRUE(GetMenuState(GetMenu(main.window), IDM_REPORT, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_TRUE(IsWindowEnabled(main.window));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, enable ? IDC_ARROW : IDC_WAIT));
    }
}

// The report is offered for the book the input field names, and only for it:
// another book typed in (or a conversion of it declined) greys the item.
TEST(SetBusy, OffersTheReportOnlyForTheBookInTheField)
{
    MainWindow main;
    test::TempDir dir;
    test::WriteFileBytes(dir.ChildPath(u"a.vcf"), "BEGIN:VCARD\r\nN:a;;;;\r\nEND:VCARD\r\n");
    const std::u16string book = dir.Child(u"a.vcf");
    SetDlgItemTextW(main.window, IDC_INPUT_PATH, reinterpret_cast<const wchar_t*>(book.c_str()));
    ConvertKeepingReport(main.window, dir.Child(u"PC→iPhone.vcf"), book, OutputForm::IPhone);
    const auto greyed = [&] { return (GetMenuState(GetMenu(main.window), IDM_REPORT, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    SetBusy(true, main.window);
    EXPECT_FALSE(greyed());
    SetDlgItemTextW(main.window, IDC_INPUT_PATH, L"C:\\other.vcf");
    EXPECT_TRUE(greyed());
    SetDlgItemTextW(main.window, IDC_INPUT_PATH, reinterpret_cast<const wchar_t*>(book.c_str()));
    EXPECT_FALSE(greyed());
    ForgetReport();
}

// The form is a radio choice, the iPhone's when the window opens; choosing
// an item moves the check and shows that form's output for the book in the field.
TEST(OutputForm, TheCheckedItemNamesTheOutput)
{
    MainWindow main;
    SetDlgItemTextW(main.window, IDC_INPUT_PATH, L"C:\\data\\a.vcf");
    const auto checked = [&](UINT item) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE;
        GetMenuItemInfoW(GetMenu(main.window), item, FALSE, &info);
        return (info.fState & MFS_CHECKED) && (info.fType & MFT_RADIOCHECK);
    };
    EXPECT_TRUE(checked(IDM_FORM_IPHONE));
    for (const auto& [item, other, name] : {std::tuple{IDM_FORM_ICLOUD, IDM_FORM_IPHONE, L"PC→iCloud.vcf"},
                                            std::tuple{IDM_FORM_IPHONE, IDM_FORM_ICLOUD, L"PC→iPhone.vcf"},
                                            std::tuple{IDM_FORM_ICLOUD, IDM_FORM_IPHONE, L"PC→iCloud.vcf"}}) {
        SendMessageW(main.window, WM_COMMAND, item, 0);
        EXPECT_TRUE(checked(item) && !checked(other)) << item;
        EXPECT_EQ(main.Field(IDC_OUTPUT_PATH), std::wstring(L"C:\\data\\") + name);
    }
}

HDROP MakeDrop(const std::vector<std::wstring>& paths)
{
    std::wstring names;
    for (const auto& path : paths) names += path + L'\0';
    names += L'\0';
    const HGLOBAL memory =
        GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * 2);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, names.data(), names.size() * 2);
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST(AcceptDroppedFile, TakesTheFirstPathAndDerivesTheOutput)
{
    struct Case {
        std::vector<std::wstring> dropped;
        std::wstring input, output;
    };
    const std::wstring long258 = L"C:\\" + std::wstring(255, L'd');
    const Case cases[] = {
        {{L"C:\\data\\a.vcf", L"C:\\data\\b.vcf", L"D:\\c.vcf"}, L"C:\\data\\a.vcf",
         L"C:\\data\\PC→iPhone.vcf"},
        {{L"C:\\アドレス帳\\folder"}, L"C:\\アドレス帳\\folder", L"C:\\アドレス帳\\PC→iPhone.vcf"},
        {{L"\\\\server\\share\\x.vcf"}, L"\\\\server\\share\\x.vcf", L"\\\\server\\share\\PC→iPhone.vcf"},
        // At most 259 characters are taken from the drop.
        {{long258 + L"\\toolong.vcf"}, (long258 + L"\\toolong.vcf").substr(0, 259),
         long258 + L"\\PC→iPhone.vcf"},
    };
    for (const Case& test : cases) {
        MainWindow main;
        AcceptDroppedFile(MakeDrop(test.dropped), main.window);
        EXPECT_EQ(main.Field(IDC_INPUT_PATH), test.input);
        EXPECT_EQ(main.Field(IDC_OUTPUT_PATH), test.output);
    }
}

TEST(AddMessage, AppendsAndSelectsTheNewestLine)
{
    MainWindow main;
    ShowWindow(main.window, SW_SHOW);
    const HWND list = GetDlgItem(main.window, IDC_MESSAGES);
    for (int i = 0; i < 30; ++i) AddMessage(main.window, u"行");
    AddMessage(main.window, u"最後");
    // Painted at once, before the conversion holds the thread.
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE));
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 31);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 30);
    wchar_t text[8] = {};
    SendMessageW(list, LB_GETTEXT, 30, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), L"最後");
}

} // namespace
} // namespace karuto::app
