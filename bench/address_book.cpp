#include "bench/address_book.h"

#include <array>

#include "platform/shift_jis.h"
#include "platform/unicode.h"

namespace karuto::bench {

namespace {

// splitmix64: every card draws from its own stream, seeded by its index.
struct Random {
    std::uint64_t state;
    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& items) { return items[Below(N)]; }
};

struct Name {
    std::string_view kanji;
    std::string_view reading;  // half-width katakana in the Shift_JIS book
};

// Vendor characters among them: 髙 and 﨑 are IBM extensions.
constexpr std::array<Name, 16> kFamilyNames = {{
    {"佐藤", "ｻﾄｳ"}, {"鈴木", "ｽｽﾞｷ"}, {"髙橋", "ﾀｶﾊｼ"}, {"田中", "ﾀﾅｶ"},
    {"伊藤", "ｲﾄｳ"}, {"渡辺", "ﾜﾀﾅﾍﾞ"}, {"山本", "ﾔﾏﾓﾄ"}, {"中村", "ﾅｶﾑﾗ"},
    {"小林", "ｺﾊﾞﾔｼ"}, {"加藤", "ｶﾄｳ"}, {"吉田", "ﾖｼﾀﾞ"}, {"山田", "ﾔﾏﾀﾞ"},
    {"山﨑", "ﾔﾏｻﾞｷ"}, {"松本", "ﾏﾂﾓﾄ"}, {"井上", "ｲﾉｳｴ"}, {"木村", "ｷﾑﾗ"},
}};

constexpr std::array<Name, 16> kGivenNames = {{
    {"花子", "ﾊﾅｺ"}, {"太郎", "ﾀﾛｳ"}, {"美咲", "ﾐｻｷ"}, {"健一", "ｹﾝｲﾁ"},
    {"陽菜", "ﾋﾅ"}, {"翔太", "ｼｮｳﾀ"}, {"結衣", "ﾕｲ"}, {"大輔", "ﾀﾞｲｽｹ"},
    {"さくら", "ｻｸﾗ"}, {"拓也", "ﾀｸﾔ"}, {"愛", "ｱｲ"}, {"誠", "ﾏｺﾄ"},
    {"由美", "ﾕﾐ"}, {"直樹", "ﾅｵｷ"}, {"真由美", "ﾏﾕﾐ"}, {"浩二", "ｺｳｼﾞ"},
}};

struct Place {
    std::string_view prefecture, city, street;
};

constexpr std::array<Place, 8> kPlaces = {{
    {"東京都", "港区", "芝公園"}, {"神奈川県", "横浜市中区", "山下町"},
    {"大阪府", "大阪市北区", "梅田"}, {"愛知県", "名古屋市中区", "栄"},
    {"北海道", "札幌市中央区", "大通西"}, {"福岡県", "福岡市博多区", "博多駅前"},
    {"京都府", "京都市下京区", "烏丸通"}, {"宮城県", "仙台市青葉区", "一番町"},
}};

// ㈱ and ① are NEC special characters.
constexpr std::array<std::string_view, 6> kCompanies = {
    "㈱みどり商事", "さくら電機㈱", "ひかり設計事務所", "㈱アオイ商会", "青空食品㈱", "東西物産"};
constexpr std::array<std::string_view, 5> kTitles = {"営業部 部長", "ﾏﾈｰｼﾞｬｰ", "主任",
                                                     "課長代理", "ｴﾝｼﾞﾆｱ"};
constexpr std::array<std::string_view, 6> kNotes = {
    "大学の同級生", "ﾃﾆｽｻｰｸﾙ①", "取引先（本社）", "誕生日にﾒｰﾙ", "旧姓：ﾖｼﾀﾞ", "〒の確認済み"};
constexpr std::array<std::string_view, 4> kMailHosts = {"mobile.example.jp", "example.com",
                                                        "mail.example.ne.jp", "example.co.jp"};

std::string ShiftJis(std::string_view utf8)
{
    return WideToAnsi(Utf8ToWide(utf8));
}

std::string Digits(Random& random, int count)
{
    std::string digits;
    for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + random.Below(10));
    return digits;
}

// Quoted-Printable with soft line breaks, as phones write it: every byte
// beyond ASCII and every "=" escaped, lines of at most 76 characters.
std::string QuotedPrintable(std::string_view bytes, std::size_t firstLineUsed)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    std::size_t column = firstLineUsed;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte >= 0x21 && byte <= 0x7E && byte != '=';
        const std::size_t width = plain ? 1 : 3;
        if (column + width > 75) {
            encoded += "=\r\n";
            column = 0;
        }
        if (plain) {
            encoded += c;
        } else {
            encoded += '=';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
        column += width;
    }
    return encoded;
}

// A JPEG-sized run of Base64 folded as vCard writers fold it.
std::string FoldedBase64(Random& random, bool version21)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t length = 3000 + random.Below(6000);
    std::string folded;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % 72 == 0) folded += i == 0 ? "" : "\r\n ";
        folded += kAlphabet[random.Next() % 64];
    }
    return folded + (version21 ? "\r\n\r\n" : "\r\n");
}

struct Person {
    const Name* family;
    const Name* given;
    const Place* place;
    std::string zip, house, phone, home, mailbox;
    std::size_t emails, phones;
    bool company, note, birthday, photo;
};

Person DrawPerson(Random& random, std::uint32_t index)
{
    Person person;
    person.family = &random.Pick(kFamilyNames);
    person.given = &random.Pick(kGivenNames);
    person.place = &random.Pick(kPlaces);
    person.zip = Digits(random, 3) + "-" + Digits(random, 4);
    person.house = std::to_string(1 + random.Below(9)) + "丁目" + std::to_string(1 + random.Below(30)) +
                   "−" + std::to_string(1 + random.Below(20));
    person.phone = "090-" + Digits(random, 4) + "-" + Digits(random, 4);
    person.home = "0" + Digits(random, 1) + "-" + Digits(random, 4) + "-" + Digits(random, 4);
    person.mailbox = "user" + std::to_string(index) + "." + Digits(random, 3);
    person.emails = 1 + random.Below(3);
    person.phones = 1 + random.Below(3);
    person.company = random.Below(3) == 0;
    person.note = random.Below(2) == 0;
    person.birthday = random.Below(4) == 0;
    person.photo = index % 20 == 19;
    return person;
}

std::string Email(const Person& person, std::size_t i)
{
    return person.mailbox + "." + std::to_string(i) + "@" + std::string(kMailHosts[i % kMailHosts.size()]);
}

std::string ShiftJisCard(Random& random, const Person& p)
{
    static constexpr std::array<std::string_view, 3> kEmailTypes = {"CELL", "HOME", "WORK"};
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    card += "N;CHARSET=SHIFT_JIS:" + ShiftJis(p.family->kanji) + ";" + ShiftJis(p.given->kanji) + ";;;\r\n";
    card += "FN;CHARSET=SHIFT_JIS:" + ShiftJis(p.family->kanji) + " " + ShiftJis(p.given->kanji) + "\r\n";
    card += "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:" + ShiftJis(p.family->reading) + ";" +
            ShiftJis(p.given->reading) + ";;;\r\n";
    card += "TEL;CELL:" + p.phone + "\r\n";
    if (p.phones > 1) card += "TEL;HOME:" + p.home + "\r\n";
    if (p.phones > 2) card += "TEL;WORK;VOICE:03-" + Digits(random, 4) + "-" + Digits(random, 4) + "\r\n";
    for (std::size_t i = 0; i < p.emails; ++i) {
        card += "EMAIL;" + std::string(kEmailTypes[i]) + ":" + Email(p, i) + "\r\n";
    }
    const std::string head = "ADR;HOME;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:";
    const std::string address = ";;" + ShiftJis(p.place->street) + ShiftJis(p.house) + ShiftJis(" ｻｸﾗﾊｲﾂ") +
                                std::to_string(101 + random.Below(400)) + ";" +
                                ShiftJis(p.place->city) + ";" + ShiftJis(p.place->prefecture) + ";" +
                                p.zip + ";" + ShiftJis("日本");
    card += head + QuotedPrintable(address, head.size()) + "\r\n";
    if (p.company) {
        card += "ORG;CHARSET=SHIFT_JIS:" + ShiftJis(random.Pick(kCompanies)) + ";" +
                ShiftJis("営業部") + "\r\n";
        card += "TITLE;CHARSET=SHIFT_JIS:" + ShiftJis(random.Pick(kTitles)) + "\r\n";
    }
    if (p.birthday) {
        card += "BDAY:19" + std::to_string(50 + random.Below(50)) + "-0" +
                std::to_string(1 + random.Below(9)) + "-1" + Digits(random, 1) + "\r\n";
    }
    if (p.note) {
        const std::string noteHead = "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:";
        const std::string note = ShiftJis(random.Pick(kNotes)) + "\r\n" + ShiftJis(random.Pick(kNotes));
        card += noteHead + QuotedPrintable(note, noteHead.size()) + "\r\n";
    }
    if (p.photo) card += "PHOTO;ENCODING=BASE64;TYPE=JPEG:" + FoldedBase64(random, true);
    card += "X-CLASS:PUBLIC\r\nEND:VCARD\r\n";
    return card;
}

std::string Utf8Card(Random& random, const Person& p)
{
    static constexpr std::array<std::string_view, 3> kEmailTypes = {"INTERNET,CELL", "INTERNET,HOME",
                                                                    "INTERNET,WORK"};
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    card += "N:" + std::string(p.family->kanji) + ";" + std::string(p.given->kanji) + ";;;\r\n";
    card += "FN:" + std::string(p.family->kanji) + " " + std::string(p.given->kanji) + "\r\n";
    card += "X-PHONETIC-LAST-NAME:" + std::string(p.family->reading) + "\r\n";
    card += "X-PHONETIC-FIRST-NAME:" + std::string(p.given->reading) + "\r\n";
    card += "TEL;TYPE=CELL:" + p.phone + "\r\n";
    if (p.phones > 1) card += "TEL;TYPE=HOME:" + p.home + "\r\n";
    for (std::size_t i = 0; i < p.emails; ++i) {
        card += "EMAIL;TYPE=" + std::string(kEmailTypes[i]) + ":" + Email(p, i) + "\r\n";
    }
    card += "ADR;TYPE=HOME:;;" + std::string(p.place->street) + p.house + ";" +
            std::string(p.place->city) + ";" + std::string(p.place->prefecture) + ";" + p.zip +
            ";日本\r\n";
    if (p.company) card += "ORG:" + std::string(random.Pick(kCompanies)) + ";営業部\r\n";
    if (p.note) card += "NOTE:" + std::string(random.Pick(kNotes)) + "\\n〜10時〜12時\r\n";
    if (p.photo) card += "PHOTO;ENCODING=b;TYPE=JPEG:" + FoldedBase64(random, false);
    card += "END:VCARD\r\n";
    return card;
}

} // namespace

std::string AddressBookCard(BookKind kind, std::uint32_t index)
{
    Random random{0x4B61727574ull * (index + 1)};
    const Person person = DrawPerson(random, index);
    return kind == BookKind::ShiftJis21 ? ShiftJisCard(random, person) : Utf8Card(random, person);
}

std::string GenerateAddressBook(BookKind kind, std::size_t minimumBytes)
{
    std::string book;
    book.reserve(minimumBytes + 16384);
    for (std::uint32_t index = 0; book.size() < minimumBytes; ++index) {
        book += AddressBookCard(kind, index);
    }
    return book;
}

bool ParseBookKind(std::string_view name, BookKind& kind)
{
    if (name == "sjis") {
        kind = BookKind::ShiftJis21;
        return true;
    }
    if (name == "utf8") {
        kind = BookKind::Utf8V30;
        return true;
    }
    return false;
}

} // namespace karuto::bench
