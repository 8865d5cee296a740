#include "media/rtf_text.h"

#include <QFile>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "core/cp1251.h"
#include "core/safe_file.h"

namespace orvel {

namespace {

constexpr int kMaxWord = 32;    // longer control words are not RTF
constexpr int kMaxDigits = 10;  // parameters are 16- or 32-bit

// Groups whose content is not text.
constexpr std::array kSkippedDestinations{
    "fonttbl",
    "colortbl",
    "stylesheet",
    "info",
    "pict",
    "object",
    "header",
    "headerl",
    "headerr",
    "headerf",
    "footer",
    "footerl",
    "footerr",
    "footerf",
    "listtable",
    "listoverridetable",
    "rsidtbl",
    "generator",
    "xmlnstbl",
    "themedata",
    "colorschememapping",
    "datastore",
    "latentstyles",
    "fldinst",
    "filetbl",
    "revtbl",
    "pn",
    "footnote",
    "bkmkstart",
    "bkmkend",
    "nonshppict",
    "shp",
    "mmathPr",
};

struct Named {
    const char* word;
    char16_t ch;
};

constexpr std::array kCharacterWords{
    Named{"par", u'\n'},           Named{"line", u'\n'},       Named{"sect", u'\n'},
    Named{"row", u'\n'},           Named{"page", u'\n'},       Named{"tab", u'\t'},
    Named{"cell", u'\t'},          Named{"emdash", u'\u2014'}, Named{"endash", u'\u2013'},
    Named{"lquote", u'\u2018'},    Named{"rquote", u'\u2019'}, Named{"ldblquote", u'\u201C'},
    Named{"rdblquote", u'\u201D'}, Named{"bullet", u'\u2022'}, Named{"emspace", u' '},
    Named{"enspace", u' '},
};

struct GroupState {
    bool skip = false;
    int unicodeSkip = 1;  // \ucN: bytes standing in for each \uN
};

class RtfReader {
public:
    explicit RtfReader(const QByteArray& in) : in_(in) {}

    std::optional<QString> read(QString* error) {
        auto fail = [&](const char* why) -> std::optional<QString> {
            if (error != nullptr)
                *error = QString::fromUtf8(why);
            return std::nullopt;
        };
        qsizetype start = 0;
        while (start < in_.size() && std::strchr(" \t\r\n", in_[start]) != nullptr && in_[start])
            ++start;
        if (in_.mid(start, 5) != "{\\rtf")
            return fail("файл не является файлом RTF");
        pos_ = start;
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            if (c == '{') {
                if (stack_.size() >= size_t(kMaxRtfDepth))
                    return fail("слишком глубокая вложенность групп RTF");
                stack_.push_back(state());
                pendingSkip_ = 0;
            } else if (c == '}') {
                if (stack_.empty())
                    return fail("лишняя закрывающая скобка RTF");
                stack_.pop_back();
                pendingSkip_ = 0;
                if (stack_.empty())
                    break;  // the end of the document
            } else if (c == '\\') {
                control();
            } else if (c != '\r' && c != '\n') {
                byte(uint8_t(c));
            }
        }
        // A file cut short keeps the text it holds.
        return text_;
    }

private:
    GroupState state() const { return stack_.empty() ? GroupState{} : stack_.back(); }
    GroupState& top() {
        static thread_local GroupState outside;
        return stack_.empty() ? outside : stack_.back();
    }

    void put(QChar ch) {
        if (!top().skip)
            text_.append(ch);
    }

    void byte(uint8_t b) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (b < 0x20)
            return;
        put(cp1251::decodeChar(b));
    }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void control() {
        if (pos_ >= in_.size())
            return;
        const char n = in_[pos_];
        if (!std::isalpha(uint8_t(n))) {
            ++pos_;
            symbol(n);
            return;
        }
        QByteArray word;
        while (pos_ < in_.size() && std::isalpha(uint8_t(in_[pos_]))) {
            if (word.size() < kMaxWord)
                word.append(in_[pos_]);
            ++pos_;
        }
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && std::isdigit(uint8_t(in_[pos_]))) {
            if (digits < kMaxDigits)
                param = param * 10 + (in_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        hasParam = digits > 0;
        if (negative)
            param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_;  // the delimiter belongs to the word
        controlWord(word, hasParam, param);
    }

    void symbol(char n) {
        switch (n) {
            case '\\':
            case '{':
            case '}':
                byte(uint8_t(n));
                break;
            case '\'': {
                const int hi = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
                const int lo = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0)
                    return;  // a bad escape stands for nothing
                pos_ += 2;
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                    return;
                }
                const uint8_t b = uint8_t(hi * 16 + lo);
                if (b >= 0x20 || b == '\t')
                    put(b == '\t' ? QChar(u'\t') : cp1251::decodeChar(b));
                break;
            }
            case '*':
                top().skip = true;  // an ignorable destination
                break;
            case '~':
                put(QChar(0x00A0));
                break;
            case '_':
                put(QChar(u'-'));
                break;
            case '\r':
            case '\n':
                put(QChar(u'\n'));
                break;
            default:
                break;  // \- (optional hyphen) and unknown symbols
        }
    }

    void controlWord(const QByteArray& word, bool hasParam, long long param) {
        if (word == "u" && hasParam) {
            const long long code = param < 0 ? param + 65536 : param;
            if (code > 0 && code <= 0xFFFF && code != 0xFFFE && code != 0xFFFF)
                put(QChar(char16_t(code)));
            pendingSkip_ = top().unicodeSkip;
            return;
        }
        pendingSkip_ = 0;
        if (word == "uc") {
            top().unicodeSkip = hasParam && param >= 0 && param <= 8 ? int(param) : 1;
            return;
        }
        for (const char* d : kSkippedDestinations) {
            if (word == d) {
                top().skip = true;
                return;
            }
        }
        for (const Named& w : kCharacterWords) {
            if (word == w.word) {
                put(QChar(w.ch));
                return;
            }
        }
    }

    const QByteArray& in_;
    qsizetype pos_ = 0;
    std::vector<GroupState> stack_;
    int pendingSkip_ = 0;
    QString text_;
};

}  // namespace

QByteArray plainTextToRtf(const QString& text) {
    QByteArray out =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fswiss\\fcharset204 "
        "Arial;}}\r\n\\viewkind4\\uc1\\pard\\f0\\fs24 ";
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out.append('\\').append(char(u));
        } else if (u == u'\n' || u == 0x2029 || u == 0x2028) {
            out.append("\\par\r\n");
        } else if (u == u'\t') {
            out.append("\\tab ");
        } else if (u >= 0x20 && u < 0x7F) {
            out.append(char(u));
        } else if (u < 0x20) {
            continue;  // other control characters carry nothing
        } else {
            const char b = cp1251::encodeChar(ch);
            if (b != '?') {
                out.append(QByteArray("\\'") +
                           QByteArray::number(uint8_t(b), 16).rightJustified(2, '0'));
            } else {
                out.append("\\u" + QByteArray::number(int(int16_t(u))) + '?');
            }
        }
    }
    out.append("\\par\r\n}\r\n");
    return out;
}

std::optional<QString> rtfToPlainText(const QByteArray& rtf, QString* error) {
    RtfReader reader(rtf);
    auto text = reader.read(error);
    if (text && text->endsWith(QLatin1Char('\n')))
        text->chop(1);  // the final paragraph mark
    return text;
}

bool saveRtfFile(const QString& path, const QString& text, QString* error) {
    return writeFileSafely(path, plainTextToRtf(text), error);
}

std::optional<QString> loadRtfFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxRtfBytes) {
        if (error != nullptr)
            *error = QStringLiteral("файл слишком велик для текста сообщения");
        return std::nullopt;
    }
    return rtfToPlainText(file.readAll(), error);
}

}  // namespace orvel
