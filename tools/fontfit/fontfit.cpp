// fontfit: measures candidate font files against the label widths that the
// program's windows were laid out with ("MS Sans Serif" at 96 dpi), so the
// font bundled as its stand-in can be chosen by numbers rather than by eye.
//
// Usage: fontfit [--all] [--stretch PERCENT] FONTFILE...
//
// Every file is loaded with QFontDatabase::addApplicationFont, exactly as the
// program loads its bundled font, and measured with QFontMetrics under Qt's
// default rendering. Files of one family and width class form one candidate;
// its regular and bold faces are the upright files whose weights lie nearest
// 400 and 700 (a candidate without a bold file is measured with Qt's
// synthetic bold and marked so).
//
// For each candidate the tool prints the mean absolute deviation over the
// sample table below (in pixels and in percent of the wanted width), the mean
// signed deviation of the regular and of the bold samples, the worst sample,
// the uniform stretch that would fit best and the mean it gives, how many
// catalogue item labels would run into their right-hand neighbour or under
// the panel's right border, how many lines the add-record window's wrapped
// label takes, and how much darker the bold face is than the regular one.
// Candidates are ranked by the mean in pixels; one whose bold face is no
// darker than its regular one ranks last. The per-sample table follows for
// the best candidate (for every candidate with --all). --stretch measures
// every candidate widened or narrowed by that percentage.
//
// Run it without a display: QT_QPA_PLATFORM=offscreen fontfit FILE...

#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// One auto-sized label: its caption, font pixel size and weight, and the width
// in pixels it has in the window layouts.
struct Sample {
    const char16_t* text;
    int pixelSize;
    bool bold;
    int width;
    const char* where;
};

// clang-format off
const Sample samples[] = {
    // Main window, category catalogue headings.
    {u"Авто",            19, true,  50, "catalogue"},
    {u"Банки",           19, true,  60, "catalogue"},
    {u"Магазины",        19, true,  99, "catalogue"},
    {u"Медицина",        19, true, 102, "catalogue"},
    {u"Муниципалитет",   19, true, 156, "catalogue"},
    {u"Общест. орг-ии",  19, true, 154, "catalogue"},
    {u"Промышленность",  19, true, 175, "catalogue"},
    {u"Туризм, отдых",   19, true, 146, "catalogue"},
    {u"Услуги",          19, true,  68, "catalogue"},
    // Main window, hidden labels: an empty caption measures as one space.
    {u"Label11",         11, false, 38, "main"},
    {u" ",               11, false,  3, "main"},
    // Bus timetable window, route list (trailing spaces belong to the captions).
    {u"Маршрут №2",      11, false,  65, "bus"},
    {u"Маршрут №3",      11, false,  65, "bus"},
    {u"Маршрут №3к",     11, false,  71, "bus"},
    {u"Маршрут №4",      11, false,  65, "bus"},
    {u"Маршрут №5",      11, false,  65, "bus"},
    {u"Маршрут №5а ",    11, false,  74, "bus"},
    {u"Маршрут №6",      11, false,  65, "bus"},
    {u"Маршрут №7",      11, false,  65, "bus"},
    {u"Маршрут №9",      11, false,  65, "bus"},
    {u"Маршрут №10 ",    11, false,  74, "bus"},
    {u"Маршрут №10 (дополнительный)", 11, false, 165, "bus"},
    {u"Маршрут №11 ",    11, false,  74, "bus"},
    {u"Маршрут №11а ",   11, false,  80, "bus"},
    {u"Маршрут №12",     11, false,  71, "bus"},
    {u"Маршрут №13",     11, false,  71, "bus"},
    {u"Маршрут №14",     11, false,  71, "bus"},
    {u"Маршрут №15 ",    11, false,  74, "bus"},
    {u"Маршрут №16",     11, false,  71, "bus"},
    {u"Маршрут №19",     11, false,  71, "bus"},
    {u"Интервал движения автобусов:", 11, true, 189, "bus"},
    {u"От диспетчерской", 13, true, 137, "bus"},
    {u"От ж/д вокзала",  13, true, 114, "bus"},
    // About window (the add-record window repeats its two footer captions).
    {u"е-mail:",         11, false,  30, "about"},
    {u"Каждые две недели новая версия: ", 11, true, 212, "about"},
    {u"Наши дистанционные курсы: ",       11, true, 177, "about"},
    {u"Справочник ",     16, true, 107, "about"},
    {u"предприятий и организаций г.Светлоборска", 11, true, 276, "about"},
    // Add-record window.
    {u"Добавить запись ", 16, true, 152, "add record"},
    {u"в справочник \"Сарвино\"",          11, true, 147, "add record"},
    {u"Отправьте письмо по адресу: ",     11, false, 154, "add record"},
    {u"в котором укажите: ",              11, false, 103, "add record"},
};

// Catalogue item labels (11 px regular) in reading order with their left and
// top edges; a row ends where the next label starts further left. Used only
// to count the labels a candidate would make collide.
struct Item
{
    const char16_t* text;
    int left;
    int top;
};

const Item catalogueItems[] = {
    {u"Магазины", 759, 28}, {u"Мойка", 817, 28}, {u"Предприятие", 855, 28},
    {u"Авторемонт", 930, 28}, {u"Стоянка", 759, 42}, {u"Автошкола", 807, 42},
    {u"Перевозки", 868, 42}, {u"ГСМ", 929, 43}, {u"Такси", 955, 43},
    {u"Банк, Сберкасса", 838, 67},
    {u"Автомагазин", 758, 111}, {u"Аппаратура и бытовая техника", 834, 111},
    {u"Бытовая химия", 758, 124}, {u"Детские товары", 844, 124}, {u"Диски", 935, 124},
    {u"Замки", 757, 137}, {u"Инструменты", 797, 137}, {u"Канцтовары", 871, 137},
    {u"Картины", 941, 137}, {u"Книги", 758, 150}, {u"Комиссионные", 796, 151},
    {u"Компьютеры", 878, 151}, {u"Кондиционеры", 758, 164}, {u"Мебель", 841, 164},
    {u"Обувь", 887, 164}, {u"Одежда", 926, 164}, {u"Окна, двери", 758, 178},
    {u"Оптика", 825, 178}, {u"Оптом", 869, 178}, {u"Посуда", 908, 179},
    {u"Продукты", 949, 179}, {u"Рынки", 758, 192}, {u"Садоводство", 798, 192},
    {u"Светильники", 871, 192}, {u"Связь", 945, 193}, {u"Спорт", 759, 205},
    {u"Стекло и зеркала", 796, 206}, {u"Столярное дело", 895, 206},
    {u"Стройматериалы", 759, 219}, {u"Сумки", 853, 219}, {u"Ткани", 891, 219},
    {u"Фототовары", 926, 220}, {u"Часы", 759, 232}, {u"Ювелирные", 795, 233},
    {u"Аптека", 760, 271}, {u"Ветеринар", 802, 271}, {u"Косметолог", 860, 271},
    {u"Медицина", 926, 271},
    {u"Аудитор", 758, 312}, {u"Библиотека", 804, 312}, {u"Власть", 871, 312},
    {u"Детский сад", 917, 311}, {u"Детское творчество", 756, 325},
    {u"Муниципальное хоз", 869, 325}, {u"МЧС", 759, 338}, {u"Нотариус", 789, 338},
    {u"Образование", 842, 338}, {u"Общежитие", 919, 337},
    {u"Охранно-пожарная безопасность", 758, 351}, {u"Социальная сфера", 758, 365},
    {u"Юрист", 862, 365},
    {u"Общественные организации", 759, 403}, {u"Религия", 912, 403}, {u"СМИ", 965, 404},
    {u"Металлопродукция", 758, 445}, {u"Офис", 867, 445}, {u"Оборудование", 909, 446},
    {u"Угольная промышленн", 758, 458}, {u"Энергетика", 893, 458},
    {u"Авиа Ж/Д кассы", 758, 498}, {u"Бассейн, сауна", 854, 499},
    {u"Гостиница", 938, 499}, {u"ДК и кинотеатр", 757, 512},
    {u"Кафе, ресторан", 842, 512}, {u"Спорт", 926, 512}, {u"Туризм", 958, 512},
    {u"Ателье", 757, 550}, {u"Компьютеры", 801, 550}, {u"Ксерокопирование", 874, 550},
    {u"Недвижимость", 756, 562}, {u"Новые возможности", 836, 563},
    {u"Охрана", 948, 563}, {u"Парикмахер", 757, 575}, {u"Печати и штампы", 834, 576},
    {u"Полиграфия", 927, 576}, {u"Разные", 756, 587}, {u"Реклама", 800, 588},
    {u"Ремонт", 850, 589}, {u"Ритуальные", 892, 589}, {u"Сайдинг", 956, 590},
    {u"Сантехработы", 756, 600}, {u"Свадьбы, торжества", 834, 600},
    {u"Связь", 947, 601}, {u"Столяр", 756, 613}, {u"Страховые компании", 798, 613},
    {u"Строительство", 911, 613}, {u"Такси", 757, 626}, {u"Химчистка", 795, 626},
    {u"Электромонтаж", 857, 627},
};
// clang-format on

// The right border strip of the main window covers everything from x = 999.
constexpr int panelRightEdge = 999;

// The add-record window's word-wrapped label must break into exactly two
// lines within its fixed width.
const char16_t wrappedText[] = u"название фирмы, телефон, адрес, вид деятельности";
constexpr int wrappedWidth = 178;

QString text(const char16_t* s)
{
    return QString::fromUtf16(s);
}

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

// Qt's stretch value for an OpenType width class (OS/2 usWidthClass).
int stretchForWidthClass(int widthClass)
{
    static const int stretches[] = { 50, 62, 75, 87, 100, 112, 125, 150, 200 };
    if (widthClass < 1 || widthClass > 9)
        return 100;
    return stretches[widthClass - 1];
}

struct FaceFile {
    QString path;
    QStringList families; // as registered by addApplicationFont
    int weight = 400;
    int stretch = 100;
    bool italic = false;
};

bool readFace(const QString& path, const QStringList& families, FaceFile& face)
{
    const QRawFont raw(path, 16);
    if (!raw.isValid() || families.isEmpty())
        return false;
    face.path = path;
    face.families = families;
    face.weight = raw.weight();
    face.italic = raw.style() != QFont::StyleNormal;
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() >= 8)
        face.stretch = stretchForWidthClass(qFromBigEndian<quint16>(os2.constData() + 6));
    return true;
}

struct Candidate {
    QString family; // the name a font request uses
    int stretch = 100; // the faces' width class, as a Qt stretch
    bool useStretch = false; // the family name alone does not select the width
    const FaceFile* regular = nullptr;
    const FaceFile* bold = nullptr;
    QString resolvedRegular; // what QFontInfo reports for the requests
    QString resolvedBold;

    std::vector<int> widths; // per sample, at the candidate's own stretch
    double meanPx = 0;
    double meanPercent = 0;
    double biasRegular = 0; // signed mean deviation of the regular samples
    double biasBold = 0; // and of the bold ones
    int worstIndex = -1;
    int overlaps = 0; // catalogue items running into their neighbour
    int pastEdge = 0; // catalogue items running under the right border
    QStringList collisions; // which items, and by how many pixels
    int wrapLines = 0; // lines of the word-wrapped add-record label
    double boldInk = 0; // ink of the bold face over that of the regular one
    int fitStretch = 100;
    double fitMeanPx = 0;
    double fitMeanPercent = 0;

    bool boldLooksBold() const { return boldInk >= 1.15; }

    QString name() const
    {
        QString n = family;
        if (useStretch)
            n += QStringLiteral(" [stretch %1]").arg(stretch);
        if (!bold)
            n += QStringLiteral(" (synthetic bold)");
        else if (!boldLooksBold())
            n += QStringLiteral(" (bold not bold)");
        return n;
    }
};

QFont makeFont(const Candidate& c, int pixelSize, bool bold, int stretchPercent = 100)
{
    QFont font(c.family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    // Qt's stretch is absolute: a face of width class 87 asked for at 87 is
    // drawn as designed, at 91 it is widened by 91/87.
    if (c.useStretch || stretchPercent != 100)
        font.setStretch((c.stretch * stretchPercent + 50) / 100);
    return font;
}

std::vector<int> measureSamples(const Candidate& c, int stretchPercent)
{
    std::vector<int> widths;
    for (const Sample& s : samples) {
        const QFontMetrics fm(makeFont(c, s.pixelSize, s.bold, stretchPercent));
        widths.push_back(fm.horizontalAdvance(text(s.text)));
    }
    return widths;
}

void score(const std::vector<int>& widths, double& meanPx, double& meanPercent, int* worst)
{
    double sumPx = 0;
    double sumPercent = 0;
    int worstIndex = 0;
    int worstDev = -1;
    for (size_t i = 0; i < widths.size(); ++i) {
        const int dev = std::abs(widths[i] - samples[i].width);
        sumPx += dev;
        sumPercent += 100.0 * dev / samples[i].width;
        if (dev > worstDev) {
            worstDev = dev;
            worstIndex = int(i);
        }
    }
    meanPx = sumPx / double(widths.size());
    meanPercent = sumPercent / double(widths.size());
    if (worst)
        *worst = worstIndex;
}

void measureBias(Candidate& c)
{
    double sum[2] = { 0, 0 };
    int count[2] = { 0, 0 };
    for (size_t i = 0; i < c.widths.size(); ++i) {
        const int k = samples[i].bold ? 1 : 0;
        sum[k] += c.widths[i] - samples[i].width;
        ++count[k];
    }
    c.biasRegular = count[0] ? sum[0] / count[0] : 0;
    c.biasBold = count[1] ? sum[1] / count[1] : 0;
}

void measureCatalogue(Candidate& c, int stretchPercent)
{
    const QFontMetrics fm(makeFont(c, 11, false, stretchPercent));
    const int count = int(std::size(catalogueItems));
    for (int i = 0; i < count; ++i) {
        const Item& item = catalogueItems[i];
        const int right = item.left + fm.horizontalAdvance(text(item.text));
        const bool rowGoesOn = i + 1 < count && catalogueItems[i + 1].left > item.left;
        const QString caption = QLatin1Char('"') + text(item.text) + QLatin1Char('"');
        if (rowGoesOn && right > catalogueItems[i + 1].left) {
            ++c.overlaps;
            c.collisions
                << QStringLiteral("%1 into its neighbour by %2").arg(caption).arg(right - catalogueItems[i + 1].left);
        }
        if (right > panelRightEdge) {
            ++c.pastEdge;
            c.collisions << QStringLiteral("%1 past the edge by %2").arg(caption).arg(right - panelRightEdge);
        }
    }
    const QRect r
        = fm.boundingRect(QRect(0, 0, wrappedWidth, 1000), Qt::TextWordWrap | Qt::TextExpandTabs, text(wrappedText));
    c.wrapLines = (r.height() + fm.lineSpacing() / 2) / fm.lineSpacing();
}

// Sums the coverage of a caption drawn large, so a "bold" file whose outlines
// are really regular ones (spaced out to bold widths) shows up.
double ink(const QFont& font)
{
    QImage image(1200, 100, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(10, 75, text(u"Промышленность Нш"));
    painter.end();
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            sum += 255 - line[x];
    }
    return sum;
}

void measureInk(Candidate& c)
{
    const double regular = ink(makeFont(c, 48, false));
    c.boldInk = regular > 0 ? ink(makeFont(c, 48, true)) / regular : 0;
}

void fitStretch(Candidate& c, int measuredAt)
{
    // The uniform factor that would fit best is near the median of the
    // wanted/measured ratios; try the whole percents around it for real.
    std::vector<double> ratios;
    for (size_t i = 0; i < c.widths.size(); ++i)
        if (c.widths[i] > 0)
            ratios.push_back(double(samples[i].width) / c.widths[i]);
    std::sort(ratios.begin(), ratios.end());
    const int centre = ratios.empty() ? measuredAt : int(std::lround(measuredAt * ratios[ratios.size() / 2]));
    c.fitStretch = measuredAt;
    c.fitMeanPx = c.meanPx;
    c.fitMeanPercent = c.meanPercent;
    for (int s = centre - 3; s <= centre + 3; ++s) {
        if (s < 50 || s > 200 || s == measuredAt)
            continue;
        double px = 0;
        double percent = 0;
        score(measureSamples(c, s), px, percent, nullptr);
        if (px < c.fitMeanPx - 1e-9) {
            c.fitStretch = s;
            c.fitMeanPx = px;
            c.fitMeanPercent = percent;
        }
    }
}

QString describe(const QFont& font)
{
    const QFontInfo info(font);
    return info.family() + QLatin1Char('/') + info.styleName();
}

void printSampleTable(const Candidate& c)
{
    out() << "\nPer-sample widths for " << c.name() << ":\n"
          << "  regular: " << c.regular->path << " -> " << c.resolvedRegular << '\n'
          << "  bold:    " << (c.bold ? c.bold->path : QStringLiteral("(none)")) << " -> " << c.resolvedBold << "\n\n";
    out() << QStringLiteral("  %1  %2  %3  %4  %5  %6\n")
                 .arg(QStringLiteral("caption"), -44)
                 .arg(QStringLiteral("px"), 3)
                 .arg(QStringLiteral("bold"), 4)
                 .arg(QStringLiteral("want"), 5)
                 .arg(QStringLiteral("got"), 5)
                 .arg(QStringLiteral("dev"), 4);
    for (size_t i = 0; i < c.widths.size(); ++i) {
        const Sample& s = samples[i];
        const QString caption = QLatin1Char('"') + text(s.text) + QLatin1Char('"');
        const int dev = c.widths[i] - s.width;
        out() << QStringLiteral("  %1  %2  %3  %4  %5  %6  %7\n")
                     .arg(caption, -44)
                     .arg(s.pixelSize, 3)
                     .arg(s.bold ? QStringLiteral("yes") : QStringLiteral("no"), 4)
                     .arg(s.width, 5)
                     .arg(c.widths[i], 5)
                     .arg((dev > 0 ? QStringLiteral("+") : QString()) + QString::number(dev), 4)
                     .arg(QString::fromLatin1(s.where));
    }
    out() << "\n  catalogue items overlapping their neighbour: " << c.overlaps << ", running past x=" << panelRightEdge
          << ": " << c.pastEdge << "; wrapped add-record label: " << c.wrapLines << " lines (2 wanted)\n";
    for (const QString& line : c.collisions)
        out() << "    " << line << '\n';
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool all = args.removeAll(QStringLiteral("--all")) > 0;
    int stretch = 100;
    const qsizetype stretchAt = args.indexOf(QStringLiteral("--stretch"));
    if (stretchAt >= 0 && stretchAt + 1 < args.size()) {
        stretch = args.at(stretchAt + 1).toInt();
        args.remove(stretchAt, 2);
    }
    if (args.isEmpty() || stretch < 50 || stretch > 200) {
        err() << "usage: fontfit [--all] [--stretch PERCENT] FONTFILE...\n";
        return 2;
    }

    std::vector<FaceFile> faces;
    faces.reserve(size_t(args.size()));
    for (const QString& path : args) {
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            err() << "fontfit: cannot load " << path << '\n';
            continue;
        }
        FaceFile face;
        if (!readFace(path, QFontDatabase::applicationFontFamilies(id), face)) {
            err() << "fontfit: cannot read " << path << '\n';
            continue;
        }
        if (face.italic)
            continue;
        faces.push_back(face);
    }

    // Group the faces into candidates by family and width class. A face of
    // another width than normal is asked for by the width-specific family name
    // that Qt registers beside the common one ("DejaVu Sans Condensed" beside
    // "DejaVu Sans"), as the program would; failing that, by its stretch.
    std::map<std::pair<QString, int>, Candidate> groups;
    for (const FaceFile& face : faces) {
        Candidate& c = groups[{ face.families.first(), face.stretch }];
        if (c.family.isEmpty()) {
            c.stretch = face.stretch;
            c.family = face.families.first();
            c.useStretch = face.stretch != 100;
        }
        if (!c.regular || std::abs(face.weight - 400) < std::abs(c.regular->weight - 400))
            c.regular = &face;
        if (face.weight >= 600 && (!c.bold || std::abs(face.weight - 700) < std::abs(c.bold->weight - 700)))
            c.bold = &face;
    }

    std::vector<Candidate> candidates;
    for (auto& [key, c] : groups) {
        if (c.regular && c.regular->weight >= 600)
            c.regular = nullptr; // only bold files were given
        if (!c.regular) {
            err() << "fontfit: no regular face for " << c.family << ", skipped\n";
            continue;
        }
        if (c.useStretch && c.regular->families.size() > 1) {
            c.family = c.regular->families.last();
            c.useStretch = false;
        }
        c.widths = measureSamples(c, stretch);
        score(c.widths, c.meanPx, c.meanPercent, &c.worstIndex);
        measureBias(c);
        c.resolvedRegular = describe(makeFont(c, 11, false));
        c.resolvedBold = describe(makeFont(c, 11, true));
        measureCatalogue(c, stretch);
        fitStretch(c, stretch);
        measureInk(c);
        candidates.push_back(c);
    }
    if (candidates.empty()) {
        err() << "fontfit: nothing to measure\n";
        return 1;
    }
    // A candidate whose bold face does not look bold ranks after all others.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.boldLooksBold() != b.boldLooksBold())
            return a.boldLooksBold();
        return a.meanPx < b.meanPx;
    });

    out() << "Samples: " << int(std::size(samples)) << " auto-sized labels; "
          << "candidates ranked by mean absolute deviation";
    if (stretch != 100)
        out() << "; every font stretched to " << stretch << '%';
    out() << ".\n\n";
    out() << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9\n")
                 .arg(QStringLiteral("candidate"), -44)
                 .arg(QStringLiteral("mean px"), 7)
                 .arg(QStringLiteral("mean %"), 6)
                 .arg(QStringLiteral("bias reg/bold"), 13)
                 .arg(QStringLiteral("worst (dev px, caption)"), -40)
                 .arg(QStringLiteral("best stretch: mean px / %"), -26)
                 .arg(QStringLiteral("overlaps"), 8)
                 .arg(QStringLiteral("wrap"), 4)
                 .arg(QStringLiteral("bold ink"), 8);
    for (const Candidate& c : candidates) {
        const Sample& w = samples[c.worstIndex];
        const int dev = c.widths[size_t(c.worstIndex)] - w.width;
        const QString worst = QStringLiteral("%1%2 \"%3\" %4%5")
                                  .arg(dev > 0 ? QStringLiteral("+") : QString())
                                  .arg(dev)
                                  .arg(text(w.text))
                                  .arg(w.pixelSize)
                                  .arg(w.bold ? QStringLiteral("b") : QString());
        const QString fit = QStringLiteral("%1%: %2 / %3%")
                                .arg(c.fitStretch)
                                .arg(c.fitMeanPx, 0, 'f', 2)
                                .arg(c.fitMeanPercent, 0, 'f', 1);
        const QString bias = QStringLiteral("%1/%2").arg(c.biasRegular, 0, 'f', 1).arg(c.biasBold, 0, 'f', 1);
        out() << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9\n")
                     .arg(c.name(), -44)
                     .arg(c.meanPx, 7, 'f', 2)
                     .arg(c.meanPercent, 6, 'f', 1)
                     .arg(bias, 13)
                     .arg(worst, -40)
                     .arg(fit, -26)
                     .arg(QStringLiteral("%1+%2").arg(c.overlaps).arg(c.pastEdge), 8)
                     .arg(c.wrapLines, 4)
                     .arg(c.boldInk, 8, 'f', 2);
    }
    out() << "\n(overlaps: catalogue items into their neighbour + past the panel edge; "
             "wrap: lines of the wrapped add-record label, 2 wanted;\n"
             " bold ink: ink of bold over regular at 48 px, about 1.0 means the bold face "
             "does not look bold)\n";

    if (all) {
        for (const Candidate& c : candidates)
            printSampleTable(c);
    } else {
        printSampleTable(candidates.front());
    }
    out().flush();
    return 0;
}
