#include "data/Catalogue.h"

#include <algorithm>
#include <array>

namespace catalogue {
namespace {

constexpr Kind H = Kind::Heading;
constexpr Kind I = Kind::Item;

// name, caption, left, top, kind, group
constexpr std::array<CatalogueLabel, kLabelCount> kLabels { {
    // 0: Авто
    { "LbAvto", "Авто", 758, 6, H, 0 },
    { "Label112", "Магазины", 759, 28, I, 0 },
    { "Label113", "Мойка", 817, 28, I, 0 },
    { "Label114", "Предприятие", 855, 28, I, 0 },
    { "Label118", "Авторемонт", 930, 28, I, 0 },
    { "Label117", "Стоянка", 759, 42, I, 0 },
    { "Label116", "Автошкола", 807, 42, I, 0 },
    { "Label115", "Перевозки", 868, 42, I, 0 },
    { "Label119", "ГСМ", 929, 43, I, 0 },
    { "Label120", "Такси", 955, 43, I, 0 },

    // 1: Банки
    { "Label1", "Банки", 759, 61, H, 1 },
    { "LbBank", "Банк, Сберкасса", 838, 67, I, 1 },

    // 2: Магазины
    { "Label2", "Магазины", 758, 89, H, 2 },
    { "Label6", "Автомагазин", 758, 111, I, 2 },
    { "Label7", "Аппаратура и бытовая техника", 834, 111, I, 2 },
    { "Label10", "Бытовая химия", 758, 124, I, 2 },
    { "Label12", "Детские товары", 844, 124, I, 2 },
    { "Label13", "Диски", 935, 124, I, 2 },
    { "Label14", "Замки", 757, 137, I, 2 },
    { "Label15", "Инструменты", 797, 137, I, 2 },
    { "Label18", "Канцтовары", 871, 137, I, 2 },
    { "Label24", "Картины", 941, 137, I, 2 },
    { "Label23", "Книги", 758, 150, I, 2 },
    { "Label19", "Комиссионные", 796, 151, I, 2 },
    { "Label22", "Компьютеры", 878, 151, I, 2 },
    { "Label21", "Кондиционеры", 758, 164, I, 2 },
    { "Label20", "Мебель", 841, 164, I, 2 },
    { "Label25", "Обувь", 887, 164, I, 2 },
    { "Label26", "Одежда", 926, 164, I, 2 },
    { "Label89", "Окна, двери", 758, 178, I, 2 },
    { "Label91", "Оптика", 825, 178, I, 2 },
    { "Label122", "Оптом", 869, 178, I, 2 },
    { "Label121", "Посуда", 908, 179, I, 2 },
    { "Label98", "Продукты", 949, 179, I, 2 },
    { "Label95", "Рынки", 758, 192, I, 2 },
    { "Label123", "Садоводство", 798, 192, I, 2 },
    { "Label124", "Светильники", 871, 192, I, 2 },
    { "Label125", "Связь", 945, 193, I, 2 },
    { "Label126", "Спорт", 759, 205, I, 2 },
    { "Label128", "Стекло и зеркала", 796, 206, I, 2 },
    { "Label127", "Столярное дело", 895, 206, I, 2 },
    { "Label129", "Стройматериалы", 759, 219, I, 2 },
    { "Label130", "Сумки", 853, 219, I, 2 },
    { "Label131", "Ткани", 891, 219, I, 2 },
    { "Label134", "Фототовары", 926, 220, I, 2 },
    { "Label133", "Часы", 759, 232, I, 2 },
    { "Label132", "Ювелирные", 795, 233, I, 2 },

    // 3: Медицина
    { "Label135", "Медицина", 758, 249, H, 3 },
    { "Label136", "Аптека", 760, 271, I, 3 },
    { "Label137", "Ветеринар", 802, 271, I, 3 },
    { "Label138", "Косметолог", 860, 271, I, 3 },
    { "Label139", "Медицина", 926, 271, I, 3 },

    // 4: Муниципалитет
    { "Label108", "Муниципалитет", 758, 289, H, 4 },
    { "Label27", "Аудитор", 758, 312, I, 4 },
    { "Label28", "Библиотека", 804, 312, I, 4 },
    { "Label29", "Власть", 871, 312, I, 4 },
    { "Label30", "Детский сад", 917, 311, I, 4 },
    { "Label31", "Детское творчество", 756, 325, I, 4 },
    { "Label32", "Муниципальное хоз", 869, 325, I, 4 },
    { "Label33", "МЧС", 759, 338, I, 4 },
    { "Label34", "Нотариус", 789, 338, I, 4 },
    { "Label35", "Образование", 842, 338, I, 4 },
    { "Label36", "Общежитие", 919, 337, I, 4 },
    { "Label37", "Охранно-пожарная безопасность", 758, 351, I, 4 },
    { "Label38", "Социальная сфера", 758, 365, I, 4 },
    { "Label39", "Юрист", 862, 365, I, 4 },

    // 5: Общест. орг-ии
    { "Label3", "Общест. орг-ии", 758, 382, H, 5 },
    { "Label42", "Общественные организации", 759, 403, I, 5 },
    { "Label43", "Религия", 912, 403, I, 5 },
    { "Label5", "СМИ", 965, 404, I, 5 },

    // 6: Промышленность
    { "Label44", "Промышленность", 758, 421, H, 6 },
    { "Label52", "Металлопродукция", 758, 445, I, 6 },
    { "Label53", "Офис", 867, 445, I, 6 },
    { "Label54", "Оборудование", 909, 446, I, 6 },
    { "Label55", "Угольная промышленн", 758, 458, I, 6 },
    { "Label56", "Энергетика", 893, 458, I, 6 },

    // 7: Туризм, отдых
    { "Label45", "Туризм, отдых", 758, 474, H, 7 },
    { "Label64", "Авиа Ж/Д кассы", 758, 498, I, 7 },
    { "Label65", "Бассейн, сауна", 854, 499, I, 7 },
    { "Label66", "Гостиница", 938, 499, I, 7 },
    { "Label67", "ДК и кинотеатр", 757, 512, I, 7 },
    { "Label68", "Кафе, ресторан", 842, 512, I, 7 },
    { "Label69", "Спорт", 926, 512, I, 7 },
    { "Label70", "Туризм", 958, 512, I, 7 },

    // 8: Услуги
    { "Label46", "Услуги", 757, 529, H, 8 },
    { "Label71", "Ателье", 757, 550, I, 8 },
    { "Label8", "Компьютеры", 801, 550, I, 8 },
    { "Label72", "Ксерокопирование", 874, 550, I, 8 },
    { "Label73", "Недвижимость", 756, 562, I, 8 },
    { "Label74", "Новые возможности", 836, 563, I, 8 },
    { "Label75", "Охрана", 948, 563, I, 8 },
    { "Label76", "Парикмахер", 757, 575, I, 8 },
    { "Label163", "Печати и штампы", 834, 576, I, 8 },
    { "Label77", "Полиграфия", 927, 576, I, 8 },
    { "Label164", "Разные", 756, 587, I, 8 },
    { "Label165", "Реклама", 800, 588, I, 8 },
    { "Label166", "Ремонт", 850, 589, I, 8 },
    { "Label167", "Ритуальные", 892, 589, I, 8 },
    { "Label168", "Сайдинг", 956, 590, I, 8 },
    { "Label169", "Сантехработы", 756, 600, I, 8 },
    { "Label170", "Свадьбы, торжества", 834, 600, I, 8 },
    { "Label171", "Связь", 947, 601, I, 8 },
    { "Label172", "Столяр", 756, 613, I, 8 },
    { "Label173", "Страховые компании", 798, 613, I, 8 },
    { "Label174", "Строительство", 911, 613, I, 8 },
    { "Label175", "Такси", 757, 626, I, 8 },
    { "Label176", "Химчистка", 795, 626, I, 8 },
    { "Label177", "Электромонтаж", 857, 627, I, 8 },
} };

// headingIndex, firstItem, itemCount, headingWidth, hasSeparator, separator
constexpr std::array<CatalogueGroup, kGroupCount> kGroups { {
    { 0, 1, 9, 50, true, { "Bevel2", 756, 57, 236 } },
    { 10, 11, 1, 60, true, { "Bevel3", 755, 85, 234 } },
    { 12, 13, 34, 99, true, { "Bevel4", 755, 247, 236 } },
    { 47, 48, 4, 102, true, { "Bevel5", 755, 287, 238 } },
    { 52, 53, 13, 156, true, { "Bevel6", 755, 380, 238 } },
    { 66, 67, 3, 154, true, { "Bevel7", 755, 418, 238 } },
    { 70, 71, 5, 175, true, { "Bevel8", 754, 472, 238 } },
    { 76, 77, 7, 146, true, { "Bevel9", 755, 527, 238 } },
    { 84, 85, 23, 68, false, { "", 0, 0, 0 } },
} };

constexpr std::array<Override, kOverrideCount> kOverrides { {
    { "Label23", "Книги", "Книги, газеты, журналы" },
    { "Label32", "Муниципальное хоз", "Муниципальное хозяйство" },
    { "Label54", "Оборудование", "Торгово-промышленное оборудование" },
    { "Label55", "Угольная промышленн", "Угольная промышленность" },
    { "Label68", "Кафе, ресторан", "кафе, рестораны, таверны" },
    { "Label76", "Парикмахер", "Парикмахерская" },
    { "Label112", "Магазины", "Автомагазин" },
    { "Label113", "Мойка", "Автомойка" },
    { "Label114", "Предприятие", "Автопредприятие" },
    { "Label115", "Перевозки", "Грузоперевозки" },
    { "Label117", "Стоянка", "Автостоянка" },
    { "Label22", "Компьютеры", "Компьютеры и оргтехника" },
    { "Label132", "Ювелирные", "Ювелирные изделия" },
    { "Label134", "Фототовары", "Фототовары и услуги" },
    { "Label138", "Косметолог", "Косметологи" },
    { "Label164", "Разные", "Разные услуги" },
    { "Label167", "Ритуальные", "Ритуальные услуги" },
    { "Label169", "Сантехработы", "Сантехработы и сантехника" },
    { "Label170", "Свадьбы, торжества", "Свадьбы, торжества, досуг" },
    { "Label172", "Столяр", "Столярное дело" },
} };

// The tables above are hand-written; catch slips in them at compile time.
constexpr bool groupsMatchLabels()
{
    int expectedHeading = 0;
    for (int g = 0; g < kGroupCount; ++g) {
        const CatalogueGroup& grp = kGroups[g];
        if (grp.headingIndex != expectedHeading || grp.firstItem != grp.headingIndex + 1)
            return false;
        if (kLabels[grp.headingIndex].kind != Kind::Heading || kLabels[grp.headingIndex].group != g)
            return false;
        for (int i = grp.firstItem; i < grp.firstItem + grp.itemCount; ++i)
            if (kLabels[i].kind != Kind::Item || kLabels[i].group != g)
                return false;
        if (grp.hasSeparator != (g + 1 < kGroupCount))
            return false;
        expectedHeading = grp.firstItem + grp.itemCount;
    }
    return expectedHeading == kLabelCount;
}
static_assert(groupsMatchLabels());

constexpr bool overridesMatchLabels()
{
    for (const Override& o : kOverrides) {
        int found = 0;
        for (const CatalogueLabel& l : kLabels)
            if (l.name == o.labelName) {
                if (l.caption != o.caption || l.kind != Kind::Item)
                    return false;
                ++found;
            }
        if (found != 1)
            return false;
    }
    return true;
}
static_assert(overridesMatchLabels());

constexpr bool namesUnique()
{
    for (std::size_t i = 0; i < kLabels.size(); ++i)
        for (std::size_t j = i + 1; j < kLabels.size(); ++j)
            if (kLabels[i].name == kLabels[j].name)
                return false;
    return true;
}
static_assert(namesUnique());

} // namespace

std::span<const CatalogueLabel> labels()
{
    return kLabels;
}

std::span<const CatalogueGroup> groups()
{
    return kGroups;
}

std::span<const Override> overrides()
{
    return kOverrides;
}

const CatalogueLabel* findLabel(std::string_view name)
{
    const auto it
        = std::find_if(kLabels.begin(), kLabels.end(), [name](const CatalogueLabel& l) { return l.name == name; });
    return it == kLabels.end() ? nullptr : &*it;
}

std::string_view categoryValue(std::string_view labelName)
{
    for (const Override& o : kOverrides)
        if (o.labelName == labelName)
            return o.value;
    const CatalogueLabel* label = findLabel(labelName);
    return label ? label->caption : std::string_view {};
}

std::vector<std::string_view> distinctCategoryValues()
{
    std::vector<std::string_view> values;
    values.reserve(kLabels.size());
    for (const CatalogueLabel& l : kLabels) {
        const std::string_view v = categoryValue(l.name);
        if (std::find(values.begin(), values.end(), v) == values.end())
            values.push_back(v);
    }
    return values;
}

} // namespace catalogue
