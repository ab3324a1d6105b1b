#include "Generator.h"

#include "data/Catalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace gendb {

// ---------------------------------------------------------------------------
// UTF-8 helpers

std::size_t utf8Length(std::string_view text)
{
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string utf8Left(std::string_view text, std::size_t chars)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == chars)
                return std::string(text.substr(0, i));
            ++seen;
        }
    }
    return std::string(text);
}

std::string fitExactly(std::string_view text, std::size_t chars)
{
    std::string s(text);
    while (utf8Length(s) <= chars) {
        s += ' ';
        s += text;
    }
    // A trailing blank would be lost by some editors; end on a full stop.
    std::string cut = utf8Left(s, chars);
    if (!cut.empty() && cut.back() == ' ')
        cut.back() = '.';
    return cut;
}

namespace {

// Upper-cases the first letter of a Latin or Cyrillic word.
std::string capitalised(std::string_view word)
{
    std::string s(word);
    if (s.empty())
        return s;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 >= 'a' && b0 <= 'z') {
        s[0] = static_cast<char>(b0 - 'a' + 'A');
    } else if (s.size() >= 2) {
        const auto b1 = static_cast<unsigned char>(s[1]);
        const unsigned cp = ((b0 & 0x1Fu) << 6) | (b1 & 0x3Fu);
        unsigned up = cp;
        if (cp >= 0x430 && cp <= 0x44F)
            up = cp - 0x20; // а..я -> А..Я
        else if (cp == 0x451)
            up = 0x401; // ё -> Ё
        if (up != cp && (b0 & 0xE0) == 0xC0) {
            s[0] = static_cast<char>(0xC0 | (up >> 6));
            s[1] = static_cast<char>(0x80 | (up & 0x3F));
        }
    }
    return s;
}

std::vector<std::string_view> splitBars(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const std::size_t bar = text.find('|');
        parts.push_back(text.substr(0, bar));
        if (bar == std::string_view::npos)
            break;
        text.remove_prefix(bar + 1);
    }
    return parts;
}

// ---------------------------------------------------------------------------
// What the firms of each kind of activity are called.
//
// patterns: one letter per way of naming, repeated letters weigh more:
//   T  type word and brand:          магазин «Ромашка»
//   N  type word and number:         аптека №5
//   O  company form and brand:       ООО «Вектор»
//   P  sole trader:                  ИП Иванов И.И.
//   B  brand alone:                  Каприз, «Каприз»
//   K  one of the fixed names:       Центральная городская библиотека
//   M  first type word and a person: Нотариус Петрова Н.В.
// weight: relative frequency of the kind among ordinary records.

struct Style {
    std::string_view value;
    int weight;
    std::string_view patterns;
    std::string_view types;
    std::string_view brands;
    std::string_view fixed;
};

constexpr std::array kStyles = std::to_array<Style>({
    { "Авто", 3, "TOB", "автоцентр|автосалон", "Автомир|Драйв|Мотор|Колесо", "" },
    { "Автомагазин", 12, "TTTOPB", "автомагазин|магазин автозапчастей|автозапчасти",
        "Автомир|Запчасти|Колесо|Мотор|Автоплюс|Карбюратор|Драйв", "" },
    { "Автомойка", 4, "TPB", "автомойка|мойка", "Мой-ка|Чистюля|Блеск|Аква", "" },
    { "Автопредприятие", 3, "OK", "", "Автотранс|Светлоборскавтотранс",
        "МУП «Светлоборское АТП»|ПАТП-2|Автоколонна №1247|ООО «Автобаза №3»" },
    { "Авторемонт", 10, "TTPOB", "автосервис|СТО|шиномонтаж|автомастерская|ремонт автомобилей",
        "Мотор|Профи|Гараж|Форсаж|Колесо|Механик|Вулкан", "" },
    { "Автостоянка", 4, "TNP", "автостоянка|стоянка|гаражный кооператив", "Северная|Центральная|Южная|Гараж", "" },
    { "Автошкола", 4, "TOB", "автошкола", "Старт|Светофор|Drive|Зелёный свет|Вираж", "" },
    { "Грузоперевозки", 5, "TPPO", "грузоперевозки|перевозки|грузотакси", "Газель|Переезд|Транзит|Грузовичок", "" },
    { "ГСМ", 4, "TON", "АЗС|автозаправка", "Нефтемаркет|Топливная компания|Сибнефтесервис|Горючка", "" },
    { "Такси", 12, "TTBP", "такси|служба такси", "Шахтёр|Экспресс|Вояж|Лидер|Семёрочка|Светлячок|Форсаж|Город", "" },
    { "Банки", 2, "K", "", "", "Банк «Светлоборский»|Кредитный союз «Доверие»|Кредитный кооператив «Шахтёрский»" },
    { "Банк, Сберкасса", 8, "KKN", "отделение Сбербанка|сберкасса", "",
        "Сберегательный банк, доп. офис|Банк «Кузнецкий», филиал|КБ «Кузбассхимбанк»|Банк "
        "«Левобережный»|Сберкасса|Банкомат" },
    { "Магазины", 30, "TTTOPBN", "магазин|универмаг|торговый центр|супермаркет|минимаркет", "", "" },
    { "Аппаратура и бытовая техника", 6, "TOB", "магазин бытовой техники|салон|магазин",
        "Электрон|Техномир|Домотехника|Техно|Рубин|Горизонт", "" },
    { "Бытовая химия", 4, "TPB", "магазин|хозяйственный магазин", "Чистый дом|Мой дом|Хозяюшка|Блеск", "" },
    { "Детские товары", 5, "TPB", "магазин детских товаров|магазин", "Карапуз|Детский мир|Малыш|Аистёнок|Кроха", "" },
    { "Диски", 3, "TPB", "магазин|киоск|салон", "Меломан|Мелодия|DVD-Мир|Пластинка", "" },
    { "Замки", 2, "TP", "мастерская|изготовление ключей|магазин", "Ключник|Замок|Секрет", "" },
    { "Инструменты", 4, "TPOB", "магазин", "Инструмент|Мастер|Умелец|Электроинструмент", "" },
    { "Канцтовары", 4, "TPB", "магазин канцтоваров|магазин", "Скрепка|Канцлер|Школьник|Карандаш", "" },
    { "Картины", 2, "TPB", "галерея|салон|багетная мастерская", "Палитра|Вернисаж|Акварель|Багет", "" },
    { "Книги, газеты, журналы", 5, "TKPB", "книжный магазин|киоск|магазин", "Книголюб|Эрудит|Пресса|Букинист",
        "Роспечать, киоск|Союзпечать" },
    { "Комиссионные", 3, "TP", "комиссионный магазин|ломбард", "Антиквар|Второе дыхание|Секонд|Находка", "" },
    { "Компьютеры и оргтехника", 8, "TOPB", "компьютерный салон|магазин|салон",
        "Компьютерный мир|Бит|Байт|Пиксель|Интел-Сервис|Мегабайт|Процессор", "" },
    { "Кондиционеры", 2, "TOB", "магазин|салон климатической техники", "Климат|Прохлада|Айсберг|Бриз", "" },
    { "Мебель", 8, "TTOPB", "мебельный салон|магазин мебели|мебельный магазин",
        "Уют|Мебель-Люкс|Диван|Гарнитур|Комфорт|Интерьер", "" },
    { "Обувь", 10, "TTPB", "магазин обуви|обувной магазин|салон обуви", "Башмачок|Обувь для всех|Сапожок|Каблучок",
        "" },
    { "Одежда", 20, "TTPPB", "магазин одежды|бутик|салон|магазин",
        "Элегант|Стиль|Мода|Сударушка|Джинсовый рай|Шарм|Леди|Модница|Синтия", "" },
    { "Окна, двери", 5, "TOP", "салон|компания|производство", "Окна-Сервис|Евроокна|Двери-Сити|Пластика", "" },
    { "Оптика", 3, "TB", "салон оптики|оптика", "Очкарик|Зоркий глаз|Линза|Оптика-Сервис", "" },
    { "Оптом", 5, "OOTK", "оптовый склад|оптовая база|база", "Оптторг|Кузбассоптторг|Продсервис|Торговый дом|Оптовик",
        "Оптовая база №2|Горпищеторг, склад" },
    { "Посуда", 3, "TP", "магазин посуды|магазин", "Хрусталь|Фарфор|Чайник|Всё для дома", "" },
    { "Продукты", 30, "TTTTOPPBN", "магазин|продуктовый магазин|минимаркет|гастроном|универсам|киоск|павильон",
        "Продукты|Колос|Хлебная лавка|Каравай|Мясной двор|Весна|Берёзка|Кедр|Копейка|Эконом|Радуга|Дарья|Светлана",
        "" },
    { "Рынки", 3, "K", "", "",
        "Центральный рынок|Рынок «Северный»|Вещевой рынок|Мини-рынок «Шахтёрский»|Рынок на ул. Вокзальной" },
    { "Садоводство", 3, "TPB", "магазин|садовый центр", "Сад-огород|Дачник|Урожай|Флора|Семена", "" },
    { "Светильники", 2, "TPB", "салон|магазин", "Люстры|Светлый дом|Свет|Люмен", "" },
    { "Связь", 8, "TOKB", "салон связи|салон сотовой связи|отделение связи",
        "Связист|Мобил-Сервис|Сотовый мир|Телесистемы",
        "Почтамт|Отделение почтовой связи №3|Светлоборский узел электросвязи|Телеграф" },
    { "Спорт", 5, "TTPB", "спорткомплекс|стадион|магазин спорттоваров|спортзал|фитнес-клуб",
        "Олимп|Чемпион|Шахтёр|Атлет|Сила|Динамо", "" },
    { "Стекло и зеркала", 2, "TP", "мастерская|стекольная мастерская", "Витраж|Зеркало|Стекло", "" },
    { "Столярное дело", 3, "TPO", "столярная мастерская|столярный цех|мебельный цех", "Древо|Столяр|Сосна|Кедр", "" },
    { "Стройматериалы", 12, "TTOPB", "магазин стройматериалов|строительный рынок|магазин|база стройматериалов",
        "Стройка|Стройдвор|Кирпич|Мастер|Домострой|Строитель|Ремонт-Плюс|Профиль|Сибстрой", "" },
    { "Сумки", 2, "TP", "магазин|салон", "Кожгалантерея|Сумочка|Саквояж", "" },
    { "Ткани", 2, "TP", "магазин тканей|магазин", "Ткани|Лоскуток|Текстиль|Шёлк", "" },
    { "Фототовары и услуги", 4, "TP", "фотосалон|фотоателье|фото на документы", "Фото-Экспресс|Объектив|Вспышка|Кадр",
        "" },
    { "Часы", 2, "TP", "ремонт часов|магазин часов|мастерская", "Время|Циферблат|Тик-так", "" },
    { "Ювелирные изделия", 4, "TOPB", "ювелирный магазин|ювелирный салон|ювелирная мастерская",
        "Золото|Бриллиант|Изумруд|Яхонт|Топаз", "" },
    { "Медицина", 12, "KKTN", "поликлиника|стоматология|медицинский центр|здравпункт",
        "Дента|Здоровье|Улыбка|Медикал|Панацея",
        "Светлоборская городская больница|Городская поликлиника №1|Детская поликлиника|Станция скорой "
        "помощи|Роддом|Стоматологическая поликлиника|Травмпункт|Санэпидемстанция|Противотуберкулёзный диспансер" },
    { "Аптека", 25, "TTNNOB", "аптека|аптечный пункт|аптечный киоск",
        "Здоровье|Панацея|Будьте здоровы|Фармация|Аптекарь|Витамин|Фармакон|Доктор|Алоэ", "" },
    { "Ветеринар", 3, "TK", "ветлечебница|ветеринарная клиника|ветаптека", "Айболит|Друг|Зоовет",
        "Городская ветеринарная станция" },
    { "Косметологи", 4, "TP", "салон красоты|косметический кабинет|кабинет косметолога",
        "Афродита|Шарм|Клеопатра|Лотос|Эдельвейс", "" },
    { "Муниципалитет", 3, "K", "", "",
        "Администрация г. Светлоборска|Городской Совет народных депутатов|Управление делами администрации|Комитет по "
        "управлению муниципальным имуществом|Отдел ЗАГС г. Светлоборска" },
    { "Аудитор", 3, "OP", "", "Аудит-Сервис|Баланс|Консалт|Эксперт|Дебет-Кредит", "" },
    { "Библиотека", 3, "KN", "библиотека|библиотека-филиал", "",
        "Центральная городская библиотека|Детская библиотека им. А.С. Пушкина|Библиотека семейного чтения" },
    { "Власть", 10, "K", "", "",
        "Администрация г. Светлоборска, приёмная главы|Управление пенсионного фонда|Налоговая инспекция по г. "
        "Светлоборску|Управление социальной защиты населения|Прокуратура г. Светлоборска|Светлоборский городской "
        "суд|ОВД г. Светлоборска|Паспортный стол|Военный комиссариат|Управление образования|Центр занятости "
        "населения|Финансовое управление|Служба судебных приставов|Отдел ГИБДД|Земельный комитет" },
    { "Детский сад", 10, "NNT", "детский сад|ДОУ|детский сад-ясли",
        "Ёлочка|Солнышко|Светлячок|Колокольчик|Теремок|Алёнушка|Сказка|Журавлик", "" },
    { "Детское творчество", 3, "KT", "студия|кружок|центр", "Радуга|Фантазия|Умелые руки|Акварель",
        "Дом детского творчества|Детская музыкальная школа №1|Детская художественная школа|Станция юных техников" },
    { "Муниципальное хозяйство", 5, "K", "", "",
        "МУП «Водоканал»|МУП «Горэлектросеть»|МУП «Теплосеть»|МУП «Жилищник»|ЖЭУ №3|МУП "
        "«Спецавтохозяйство»|Управляющая компания «Жилсервис»|МУП «Светлоборскводоканал»|МУП "
        "«Благоустройство»|Расчётный центр" },
    { "МЧС", 2, "K", "", "",
        "Пожарная часть №12|Отдел ГО и ЧС|Единая дежурно-диспетчерская служба|Горноспасательный взвод" },
    { "Нотариус", 4, "MMMT", "нотариус|нотариальная контора", "Нотариат|Гарант", "" },
    { "Образование", 12, "NNKT", "школа|средняя школа|гимназия|лицей|профессиональное училище",
        "Знание|Эрудит|Перспектива",
        "Горный техникум|Филиал горного института|Педагогический колледж|Вечерняя школа|Школа-интернат №2|Учебный "
        "комбинат" },
    { "Общежитие", 2, "NK", "общежитие", "", "Общежитие горного техникума" },
    { "Охранно-пожарная безопасность", 3, "OT", "охранное предприятие|ЧОП",
        "Щит|Пожарная безопасность|Барс|Страж|Бастион", "" },
    { "Социальная сфера", 4, "K", "", "",
        "Центр социального обслуживания|Дом-интернат для престарелых|Социальный приют для детей|Центр помощи семье и "
        "детям|Совет ветеранов" },
    { "Юрист", 5, "OMT", "адвокат|юридическая консультация|адвокатский кабинет",
        "Право|Фемида|Правовед|Закон и порядок", "" },
    { "Общест. орг-ии", 2, "K", "", "", "Общество инвалидов|Совет ветеранов войны и труда" },
    { "Общественные организации", 4, "K", "", "",
        "Городская организация ветеранов|Общество слепых|Союз шахтёров|Профсоюз работников угольной "
        "промышленности|Общество охотников и рыболовов|Клуб «Ветеран»|Молодёжный центр" },
    { "Религия", 3, "K", "", "",
        "Храм Святой Троицы|Церковь Вознесения Господня|Мечеть|Приход Св. Николая|Церковь евангельских христиан" },
    { "СМИ", 3, "K", "", "",
        "Газета «Светлоборский вестник»|Телекомпания «Светлоборск-ТВ»|Радио «Светлоборск FM»|Газета «Шахтёрская "
        "правда»|Редакция газеты «Городок»" },
    { "Промышленность", 3, "OK", "", "Промтех|Сибмаш|Кузбассмаш",
        "Завод железобетонных изделий|Ремонтно-механический завод|Светлоборский кирпичный завод" },
    { "Металлопродукция", 3, "OT", "металлобаза|склад металлопроката", "Металлснаб|Сталь|Металлоторг|Прокат", "" },
    { "Офис", 3, "OT", "офисный центр|бизнес-центр", "Деловой двор|Офис-Сервис|Меридиан", "" },
    { "Торгово-промышленное оборудование", 3, "OT", "магазин|склад",
        "Промоборудование|Техснаб|Горное оборудование|Торгтехника", "" },
    { "Угольная промышленность", 5, "OK", "", "Светлоборскуголь|Кузнецкая угольная компания|Углесбыт",
        "Шахта «Светлоборская»|Шахта им. Ленина|Разрез «Южный»|Обогатительная фабрика «Северная»|Шахтоуправление "
        "«Восточное»|ОАО «Светлоборскуголь»" },
    { "Энергетика", 3, "K", "", "",
        "Светлоборская ГРЭС|Электросетевая компания, РЭС|Котельная №4|Энергосбыт, абонентский "
        "отдел|Теплоэнергетическая компания" },
    { "Туризм, отдых", 3, "TO", "база отдыха|турбаза|зона отдыха", "Лесная сказка|Таёжная|Берёзовая роща|Сосновый бор",
        "" },
    { "Авиа Ж/Д кассы", 3, "K", "", "",
        "Железнодорожный вокзал, кассы|Авиакассы|Автовокзал|Агентство воздушных сообщений|Ж/Д кассы, предварительная "
        "продажа" },
    { "Бассейн, сауна", 4, "TT", "сауна|баня|бассейн|банный комплекс",
        "Лагуна|Нептун|Парилка|Русская баня|Афродита|Дельфин", "" },
    { "Гостиница", 3, "TB", "гостиница|отель|мотель", "Шахтёр|Светлоборск|Центральная|Уют|Северная|Hotel Svetloborsk",
        "" },
    { "ДК и кинотеатр", 3, "K", "", "",
        "Дворец культуры шахтёров|Кинотеатр «Космос»|ДК «Горняк»|Кинотеатр «Родина»|Клуб «Юность»|Городской Дом "
        "культуры" },
    { "кафе, рестораны, таверны", 20, "TTTOPB",
        "кафе|ресторан|бар|закусочная|пиццерия|столовая|кофейня|таверна|шашлычная|пивной бар",
        "Уют|Встреча|Берёзка|Шахтёр|Изюминка|Каприз|Серебряный бор|Старый город|Трактир|Пельменная|Ностальгия|Pizza "
        "House|Cafe Central",
        "" },
    { "Туризм", 5, "TOB", "турагентство|туристическое агентство|турфирма",
        "Глобус|Путешествие|Вояж|Тур-Сервис|Круиз|Travel Club", "" },
    { "Услуги", 3, "TOP", "бюро услуг|комбинат бытового обслуживания|дом быта", "Мастер|Сервис|Быт", "" },
    { "Ателье", 5, "TPN", "ателье|ателье мод|ателье по пошиву и ремонту одежды",
        "Силуэт|Иголочка|Модистка|Элегант|Стиль", "" },
    { "Компьютеры", 6, "TPOB", "ремонт компьютеров|компьютерный сервис|компьютерный клуб|интернет-кафе",
        "Байт|Компьютерная помощь|Мегабит|Сеть|Net City|Game Zone|PC Service", "" },
    { "Ксерокопирование", 3, "TP", "ксерокопия|копицентр|копировальный центр", "Копи-Сервис|Оттиск|Копирка", "" },
    { "Недвижимость", 8, "TOP", "агентство недвижимости|риэлторская контора|агентство",
        "Квартирный вопрос|Новосёл|Твой дом|Жильё|Метр|Ключи", "" },
    { "Новые возможности", 2, "TOB", "центр|агентство|курсы", "Новые возможности|Перспектива|Карьера|Успех", "" },
    { "Охрана", 4, "OT", "ЧОП|охранное агентство|частное охранное предприятие",
        "Щит|Барс|Беркут|Кобра|Витязь|Страж|Легион", "" },
    { "Парикмахерская", 25, "TTTPPBN", "парикмахерская|салон красоты|салон-парикмахерская|парикмахерский салон",
        "Шарм|Локон|Чародейка|Стиль|Жасмин|Леди|Эффект|Имидж|Мужской зал|Виктория|Афродита", "" },
    { "Печати и штампы", 2, "TO", "изготовление печатей|мастерская", "Печать-Экспресс|Штамп|Оттиск", "" },
    { "Полиграфия", 3, "TOK", "типография|полиграфический центр", "Оттиск|Печатный двор|Полиграфист",
        "Светлоборская типография" },
    { "Разные услуги", 12, "TPPO",
        "бюро услуг|прокат|мастерская|ремонт обуви|изготовление ключей|служба быта|ломбард|доставка воды|бюро "
        "переводов",
        "Мастер на все руки|Удача|Сервис|Помощник|Хозяин|Экспресс", "" },
    { "Реклама", 3, "TO", "рекламное агентство|рекламная студия|студия дизайна",
        "Формат|Баннер|Вывеска|Рекламный двор|Креатив", "" },
    { "Ремонт", 10, "TPP",
        "ремонт телевизоров|ремонт бытовой техники|ремонт обуви|ремонт сотовых телефонов|ремонт квартир|мастерская",
        "Мастер|Телемастер|Сервис-Центр|Электрон|Умелец", "" },
    { "Ритуальные услуги", 3, "TK", "ритуальное агентство|бюро ритуальных услуг", "Память|Обелиск|Вечность|Реквием",
        "МУП «Ритуал»" },
    { "Сайдинг", 2, "TOP", "монтаж сайдинга|сайдинг", "Фасад|Сайдинг-Центр|Облицовка", "" },
    { "Сантехработы и сантехника", 4, "TP", "магазин сантехники|сантехработы|сантехнические работы",
        "Аквамир|Водолей|Сантехник|Труба", "" },
    { "Свадьбы, торжества, досуг", 4, "TPB", "свадебный салон|салон|агентство праздников|банкетный зал",
        "Невеста|Праздник|Фейерверк|Белый танец|Торжество", "" },
    { "Страховые компании", 4, "OK", "", "Страховой дом|Гарант|Надёжная защита|Кузбасская страховая",
        "Страховой отдел «Надежда»|Страховое агентство «Опора»" },
    { "Строительство", 10, "OOTP", "строительная компания|стройтрест|ремонтно-строительное управление",
        "Сибстрой|Стройсервис|Горстрой|Жилстрой|Монолит|Стройинвест|СМУ-7", "" },
    { "Химчистка", 2, "TN", "химчистка|прачечная|химчистка и прачечная", "Снежинка|Чистюля|Диана", "" },
    { "Электромонтаж", 3, "TOP", "электромонтаж|электромонтажные работы", "Электрик|Вольт|Ампер|Электромонтаж-Сервис",
        "" },
});

// Brands any firm may use.
constexpr std::string_view kCommonBrands
    = "Ромашка|Уют|Радуга|Вектор|Светлячок|Берёзка|Надежда|Фортуна|Меридиан|Колос|Шахтёр|Горизонт|"
      "Элита|Империя|Лидер|Альфа|Престиж|Визит|Весна|Мечта|Сударушка|Глобус|Каскад|Орион|Спектр|"
      "Феникс|Стиль|Гранит|Юбилейный|Северянка|Кристалл|Лотос|Маяк|Парус|Аленький цветочек|"
      "Золотой ключик|Добрый|Огонёк|Ладья|Русь|Корона|Эдельвейс|Антарес|Дельта|Омега|Триумф|"
      "Виктория|Тройка|Сибирь|Кузбасс|Тайга|Пчёлка|Солнышко|Акварель|Бриз|Калинка|Кедр|Сокол|"
      "Жемчужина|Магистраль|Эконом|Копейка|Мастер|Профи|Клён|Звёздочка|Семёновский";

constexpr std::string_view kLatinBrands = "Lux|Nova|Style|Profi|City|Star|Maxi|Euro|Sky|Smart|Avenue|Prestige";

constexpr std::string_view kSurnames
    = "Иванов|Петров|Сидоров|Кузнецов|Смирнов|Попов|Васильев|Соколов|Михайлов|Новиков|Фёдоров|"
      "Морозов|Волков|Алексеев|Лебедев|Семёнов|Егоров|Павлов|Козлов|Степанов|Николаев|Орлов|"
      "Андреев|Макаров|Никитин|Захаров|Зайцев|Соловьёв|Борисов|Королёв|Ершов|Гусев|Титов|"
      "Кудрявцев|Белоусов|Шевченко|Ким|Гарипов|Абдуллаев|Ткаченко|Мельник|Пугачёв|Чернов|Быков|"
      "Шестаков|Лыткин|Губайдуллин|Вострикова|Огнёв";

constexpr std::string_view kInitials = "А|Б|В|Г|Д|Е|Ж|З|И|К|Л|М|Н|О|П|Р|С|Т|У|Ф|Э|Ю|Я";

// The streets of Светлоборск.
constexpr std::string_view kStreets
    = "ул. Ленина|пр. Шахтёров|ул. Советская|ул. Горняков|ул. Мира|ул. Гагарина|ул. Кирова|"
      "пр. Победы|ул. Пушкина|ул. Комсомольская|ул. Юбилейная|ул. Школьная|ул. Садовая|"
      "пер. Почтовый|ул. Заводская|ул. Строителей|ул. 50 лет Октября|ул. Набережная|"
      "пл. Революции|ул. Вокзальная|ул. Молодёжная|ул. Ёлочная|ул. Лесная|ул. Шахтная|"
      "ул. Энергетиков|ул. Мичурина|ул. Чкалова|ул. 8 Марта|пер. Клубный|ул. Кооперативная|"
      "ул. Весенняя|ул. Красноармейская|пр. Металлургов|ул. Фёдорова";

constexpr std::string_view kPlaces
    = "ТЦ «Горизонт»|ТЦ «Центральный»|ТЦ «Шахтёр»|рынок, пав. 3|Дом быта|гостиница «Северная»";

constexpr std::string_view kNotes
    = "Круглосуточно|Обед с 13 до 14|Без выходных|Без обеда|Работает с 9 до 18|Выходной: воскресенье|"
      "Выходные: суббота, воскресенье|Доставка на дом|Вход со двора|2 этаж|Цокольный этаж|"
      "Принимаем к оплате банковские карты|Оптовым покупателям скидки|Пн-Пт 8.00-17.00, Сб 9.00-14.00|"
      "Пн-Сб 10.00-19.00|Ежедневно с 8 до 22|Приём по записи|Вызов мастера на дом|"
      "Бесплатная консультация|Скидки пенсионерам|Гарантия на все работы|Сезонная распродажа|"
      "Рядом с остановкой «Площадь»|Напротив почтамта|Новый адрес с 1 марта|Только оптом|"
      "Товары под заказ|Справки по телефону|Работаем с юридическими лицами|Изготовление за 1 день|"
      "Прокат|Приём вторсырья|Срочный ремонт|Директор Иванова Т.П.|Телефон-факс|e-mail: info@svetloborsk.ru|"
      "Ремонт не производится|Летом до 20.00|Перерыв 12.30-13.30";

struct Lists {
    std::vector<std::vector<std::string_view>> types, brands, fixed;
    std::vector<std::string_view> commonBrands, latinBrands, surnames, initials, streets, places, notes;

    Lists()
    {
        for (const Style& s : kStyles) {
            types.push_back(splitBars(s.types));
            brands.push_back(splitBars(s.brands));
            fixed.push_back(splitBars(s.fixed));
        }
        commonBrands = splitBars(kCommonBrands);
        latinBrands = splitBars(kLatinBrands);
        surnames = splitBars(kSurnames);
        initials = splitBars(kInitials);
        streets = splitBars(kStreets);
        places = splitBars(kPlaces);
        notes = splitBars(kNotes);
    }
};

const Lists& lists()
{
    static const Lists l;
    return l;
}

template <typename T> const T& pick(Rng& rng, const std::vector<T>& v)
{
    return v[rng.below(v.size())];
}

int styleIndex(std::string_view value)
{
    for (std::size_t i = 0; i < kStyles.size(); ++i)
        if (kStyles[i].value == value)
            return static_cast<int>(i);
    return -1;
}

void appendNumber(std::string& s, int n)
{
    char buf[16];
    const int len = std::snprintf(buf, sizeof buf, "%d", n);
    s.append(buf, static_cast<std::size_t>(len));
}

void appendDigits(std::string& s, Rng& rng, int count)
{
    for (int i = 0; i < count; ++i)
        s += static_cast<char>('0' + rng.below(10));
}

} // namespace

// ---------------------------------------------------------------------------
// Records fixed in advance

std::vector<PlannedRecord> Generator::plannedRecords()
{
    using Note = PlannedRecord::Note;
    std::vector<PlannedRecord> r;
    auto add = [&r](std::optional<std::string> name, std::optional<std::string> kind) -> PlannedRecord& {
        PlannedRecord p;
        p.name = std::move(name);
        p.kind = std::move(kind);
        r.push_back(std::move(p));
        return r.back();
    };

    // Every field filled to the last character, Cyrillic and Latin.
    add(fitExactly("Открытое акционерное общество «Светлоборская угольная компания», шахтоуправление «Северное» им. "
                   "В.И. Ленина",
            kNameSize),
        std::string("Угольная промышленность"));
    add(fitExactly(
            "Svetloborsk Mining Equipment International Trading and Service Company Limited Liability Partnership",
            kNameSize),
        std::string("Торгово-промышленное оборудование"));
    add(std::nullopt, std::string("Магазины")).address
        = fitExactly("ул. 50 лет Октября, 112, корп. 3, ТЦ «Горизонт», 2 этаж, павильон 15", kAddressSize);
    add(std::nullopt, std::string("Такси")).phone
        = fitExactly("3-12-45, 3-12-46, 3-12-47, 8-905-123-45-67, 8-923-555-01-02", kPhoneSize);
    add(std::nullopt,
        fitExactly("Производство, оптовая и розничная торговля строительными, отделочными и кровельными "
                   "материалами, сантехникой, инструментом, крепежом, а также хозяйственными товарами",
            kKindSize));
    {
        PlannedRecord& p = add(std::nullopt, std::string("Продукты"));
        p.noteMode = Note::Text;
        p.note = fitExactly("Режим работы: понедельник — пятница с 8.00 до 20.00, суббота с 9.00 до 18.00, воскресенье "
                            "с 10.00 до 16.00, без перерыва на обед. Доставка по городу бесплатно при заказе от 1000 "
                            "рублей. Принимаем банковские карты.",
            kNoteSize);
    }
    {
        // One record full in every field at once, for the widest grid row.
        PlannedRecord& p
            = add(fitExactly("Муниципальное унитарное предприятие «Светлоборское производственное объединение "
                             "жилищно-коммунального хозяйства и благоустройства»",
                      kNameSize),
                std::string("Муниципальное хозяйство"));
        p.address = fitExactly("пр. Шахтёров, 101а, административный корпус, кабинет 204", kAddressSize);
        p.phone = fitExactly("3-00-01 (приёмная), 3-00-02 (диспетчер), 3-00-03 (бухгалтерия)", kPhoneSize);
        p.noteMode = Note::Text;
        p.note = fitExactly("Аварийно-диспетчерская служба круглосуточно; приём граждан по вопросам ЖКХ: вторник и "
                            "четверг с 14.00 до 18.00; оплата услуг в кассах предприятия и через терминалы; "
                            "e-mail: mup-gkh@svetloborsk.ru; сайт: www.svetloborsk-gkh.ru",
            kNoteSize);
    }

    // Awkward names.
    add(std::string("Бар «O'Neil»"), std::string("кафе, рестораны, таверны"));
    add(std::string("O'Neil Pub"), std::string("кафе, рестораны, таверны"));
    add(std::string("кафе «Д'Артаньян»"), std::string("кафе, рестораны, таверны"));
    add(std::string("ООО \"Вектор-Плюс\""), std::string("Оптом"));
    add(std::string("\"Мастер\" ремонт обуви"), std::string("Ремонт"));
    add(std::string("Салон \"Шарм\""), std::string("Парикмахерская"));
    add(std::string("Computer Service"), std::string("Компьютеры"));
    add(std::string("Euroset"), std::string("Связь"));
    add(std::string("iPoint"), std::string("Компьютеры и оргтехника"));
    add(std::string("Web_Studio"), std::string("Реклама"));
    add(std::string("Tom & Jerry"), std::string("Детские товары"));
    add(std::string("1000 мелочей"), std::string("Магазины"));
    add(std::string("33 пингвина"), std::string("Продукты"));
    add(std::string("24 часа"), std::string("Продукты"));
    add(std::string("100% хлопок"), std::string("Ткани"));
    add(std::string("7 Я"), std::string("Продукты"));
    add(std::string("кафе «Уют»"), std::string("кафе, рестораны, таверны"));
    add(std::string("магазин «Ромашка»"), std::string("Продукты"));
    add(std::string("аптека №5"), std::string("Аптека"));
    add(std::string("АПТЕКА №1"), std::string("Аптека"));
    add(std::string("Ёлочка"), std::string("Детский сад"));
    add(std::string("ёлочный базар «Снегурочка»"), std::string("Садоводство"));
    add(std::string("магазин «Клён»"), std::string("Продукты"));
    add(std::string("Магазин «Клен»"), std::string("Продукты"));
    add(std::string("ИП Фёдорова Ё.Л."), std::string("Одежда"));
    add(std::string("Магазин «Оптика» (филиал)"), std::string("Оптика"));

    // The same name more than once: branches, and one record entered twice.
    add(std::string("аптека «Здоровье»"), std::string("Аптека")).address = "ул. Ленина, 12";
    add(std::string("аптека «Здоровье»"), std::string("Аптека")).address = "пр. Шахтёров, 5а";
    add(std::string("аптека «Здоровье»"), std::string("Аптека")).address = "ул. Мира, 33";
    for (int i = 0; i < 2; ++i) {
        PlannedRecord& p = add(std::string("Сберегательный банк, доп. офис"), std::string("Банк, Сберкасса"));
        p.address = "ул. Советская, 21";
        p.phone = "3-21-00, 3-21-01";
        p.noteMode = Note::Text;
        p.note = "Обед с 13 до 14";
    }

    // Notes left empty both ways.
    add(std::nullopt, std::nullopt).noteMode = Note::Null;
    add(std::nullopt, std::nullopt).noteMode = Note::Empty;
    add(std::nullopt, std::nullopt).noteMode = Note::Empty;

    // Every category value the catalogue can select.
    for (std::string_view v : catalogue::distinctCategoryValues())
        add(std::nullopt, std::string(v));

    // A few kinds of activity that no catalogue label selects.
    add(std::nullopt, std::string("Прочее"));
    add(std::nullopt, std::string("Прочее"));
    add(std::string("ООО «Компьютерный центр»"), std::string("Компьютер"));
    return r;
}

std::string Generator::checkTables()
{
    const std::vector<std::string_view> values = catalogue::distinctCategoryValues();
    for (const Style& s : kStyles) {
        if (std::find(values.begin(), values.end(), s.value) == values.end())
            return "naming style for an unknown kind of activity: " + std::string(s.value);
        if (s.weight <= 0 || s.patterns.empty())
            return "naming style without weight or patterns: " + std::string(s.value);
    }
    auto tooLong = [](const std::optional<std::string>& t, std::size_t size) { return t && utf8Length(*t) > size; };
    for (const PlannedRecord& p : plannedRecords()) {
        if (tooLong(p.name, kNameSize) || tooLong(p.address, kAddressSize) || tooLong(p.phone, kPhoneSize)
            || tooLong(p.kind, kKindSize) || utf8Length(p.note) > kNoteSize)
            return "planned record too long: " + p.name.value_or(p.kind.value_or(std::string()));
        if (p.kind && p.kind->empty())
            return "planned record with an empty kind of activity";
    }
    return {};
}

// ---------------------------------------------------------------------------

Generator::Generator(std::uint64_t seed, std::uint64_t count)
    : m_rng(seed)
    , m_count(count)
    , m_planned(plannedRecords())
{
    // Weighted choice over every catalogue value; kinds without a naming
    // style of their own get a small weight and generic names.
    std::uint32_t total = 0;
    for (std::string_view v : catalogue::distinctCategoryValues()) {
        const int s = styleIndex(v);
        total += static_cast<std::uint32_t>(s >= 0 ? kStyles[static_cast<std::size_t>(s)].weight : 2);
        m_kinds.push_back({ v, total, s });
    }

    // Spread the planned records over the table: the first S of them each
    // get one of S equal slices of the positions, in shuffled order, and a
    // random position inside their slice.
    const std::size_t planned = static_cast<std::size_t>(std::min<std::uint64_t>(m_planned.size(), count));
    std::vector<std::size_t> order(planned);
    for (std::size_t i = 0; i < planned; ++i)
        order[i] = i;
    for (std::size_t i = planned; i > 1; --i)
        std::swap(order[i - 1], order[m_rng.below(i)]);
    m_plan.reserve(planned);
    for (std::size_t i = 0; i < planned; ++i) {
        const std::uint64_t lo = i * count / planned;
        const std::uint64_t hi = (i + 1) * count / planned;
        m_plan.emplace_back(lo + m_rng.below(hi - lo), order[i]);
    }
}

std::string_view Generator::pickKind()
{
    const std::uint64_t r = m_rng.below(m_kinds.back().cumulative);
    const auto it = std::upper_bound(
        m_kinds.begin(), m_kinds.end(), r, [](std::uint64_t x, const KindChoice& k) { return x < k.cumulative; });
    return it->value;
}

std::string_view Generator::pickBrand(int style)
{
    const Lists& l = lists();
    if (m_rng.chance(4))
        return pick(m_rng, l.latinBrands);
    if (style >= 0) {
        const auto& own = l.brands[static_cast<std::size_t>(style)];
        if (!own.empty() && !m_rng.chance(15))
            return pick(m_rng, own);
    }
    return pick(m_rng, l.commonBrands);
}

std::string Generator::makePerson()
{
    const Lists& l = lists();
    std::string s(pick(m_rng, l.surnames));
    const bool feminineForm = s.ends_with("ов") || s.ends_with("ев") || s.ends_with("ёв") || s.ends_with("ин");
    if (feminineForm && m_rng.chance(35))
        s += "а";
    if (!m_rng.chance(5)) {
        s += ' ';
        s += pick(m_rng, l.initials);
        s += '.';
        s += pick(m_rng, l.initials);
        s += '.';
    }
    return s;
}

std::string Generator::makeName(std::string_view kind)
{
    const Lists& l = lists();
    const int style = styleIndex(kind);
    const std::string_view patterns = style >= 0 ? kStyles[static_cast<std::size_t>(style)].patterns : "OPB";
    const std::vector<std::string_view> noTypes;
    const auto& types = style >= 0 ? l.types[static_cast<std::size_t>(style)] : noTypes;
    char p = patterns[m_rng.below(patterns.size())];
    if ((p == 'T' || p == 'N' || p == 'M') && types.empty())
        p = 'O';
    if (p == 'K' && (style < 0 || l.fixed[static_cast<std::size_t>(style)].empty()))
        p = 'O';

    auto quoted = [this](std::string_view brand) {
        std::string s;
        if (m_rng.chance(8)) {
            s += '"';
            s += brand;
            s += '"';
        } else {
            s += "«";
            s += brand;
            s += "»";
        }
        return s;
    };
    auto typeWord = [&](std::string_view word) { return m_rng.chance(55) ? capitalised(word) : std::string(word); };

    std::string name;
    switch (p) {
    case 'T':
        name = typeWord(pick(m_rng, types));
        name += ' ';
        name += quoted(pickBrand(style));
        break;
    case 'N':
        name = typeWord(pick(m_rng, types));
        name += " №";
        appendNumber(name, m_rng.chance(80) ? m_rng.between(1, 12) : m_rng.between(13, 45));
        break;
    case 'P': {
        static constexpr std::array<std::string_view, 3> forms { "ИП ", "ЧП ", "Предприниматель " };
        const int f = m_rng.chance(85) ? 0 : (m_rng.chance(70) ? 1 : 2);
        name = forms[static_cast<std::size_t>(f)];
        name += makePerson();
        if (!types.empty() && m_rng.chance(15)) {
            name += ", ";
            name += pick(m_rng, types);
            if (m_rng.chance(50)) {
                name += ' ';
                name += quoted(pickBrand(style));
            }
        }
        break;
    }
    case 'B':
        name = m_rng.chance(60) ? std::string(pickBrand(style)) : quoted(pickBrand(style));
        break;
    case 'K':
        name = pick(m_rng, l.fixed[static_cast<std::size_t>(style)]);
        break;
    case 'M':
        name = capitalised(types.front());
        name += ' ';
        name += makePerson();
        break;
    case 'O':
    default: {
        static constexpr std::array<std::string_view, 5> forms { "ООО ", "ЗАО ", "ОАО ", "ТОО ", "НПО " };
        const std::uint64_t r = m_rng.below(100);
        name = forms[r < 70 ? 0 : r < 82 ? 1 : r < 92 ? 2 : r < 97 ? 3 : 4];
        name += quoted(pickBrand(style));
        break;
    }
    }
    return utf8Left(name, kNameSize);
}

std::string Generator::makeAddress()
{
    const Lists& l = lists();
    if (m_rng.chance(1))
        return {};
    std::string s(pick(m_rng, l.streets));
    s += ", ";
    appendNumber(s, m_rng.chance(80) ? m_rng.between(1, 60) : m_rng.between(61, 150));
    const std::uint64_t r = m_rng.below(100);
    if (r < 10) {
        static constexpr std::array<std::string_view, 3> letters { "а", "б", "в" };
        s += letters[m_rng.below(letters.size())];
    } else if (r < 15) {
        s += '/';
        appendNumber(s, m_rng.between(1, 3));
    } else if (r < 21) {
        s += ", оф. ";
        appendNumber(s, m_rng.between(1, 320));
    } else if (r < 24) {
        s += ", кв. ";
        appendNumber(s, m_rng.between(1, 90));
    } else if (r < 29) {
        s += ", ";
        s += pick(m_rng, l.places);
    } else if (r < 31) {
        s += ", ";
        appendNumber(s, m_rng.between(2, 4));
        s += " эт.";
    }
    return utf8Left(s, kAddressSize);
}

std::string Generator::makePhone()
{
    if (m_rng.chance(1))
        return {};
    const std::uint64_t r = m_rng.below(100);
    const int count = r < 60 ? 1 : r < 90 ? 2 : 3;
    std::string s;
    for (int i = 0; i < count; ++i) {
        std::string one;
        if (i > 0 && m_rng.chance(10))
            one += "факс ";
        if (m_rng.chance(25)) {
            one += "8-9";
            appendDigits(one, m_rng, 2);
            one += '-';
            appendDigits(one, m_rng, 3);
            one += '-';
            appendDigits(one, m_rng, 2);
            one += '-';
            appendDigits(one, m_rng, 2);
        } else {
            static constexpr std::array<char, 4> exchanges { '2', '3', '3', '4' };
            one += exchanges[m_rng.below(exchanges.size())];
            one += '-';
            appendDigits(one, m_rng, 2);
            one += '-';
            appendDigits(one, m_rng, 2);
        }
        std::string longer = s.empty() ? one : s + ", " + one;
        if (utf8Length(longer) > kPhoneSize)
            break;
        s = std::move(longer);
    }
    return s;
}

std::optional<std::string> Generator::makeNote()
{
    const Lists& l = lists();
    const std::uint64_t r = m_rng.below(100);
    if (r < 35)
        return std::nullopt;
    if (r < 45)
        return std::string();
    std::string s(pick(m_rng, l.notes));
    if (m_rng.chance(20)) {
        s += ". ";
        s += pick(m_rng, l.notes);
    }
    return utf8Left(s, kNoteSize);
}

bool Generator::next(Record& out)
{
    if (m_index >= m_count)
        return false;

    const PlannedRecord* planned = nullptr;
    if (m_planCursor < m_plan.size() && m_plan[m_planCursor].first == m_index) {
        planned = &m_planned[m_plan[m_planCursor].second];
        ++m_planCursor;
    }

    if (planned && planned->kind)
        out.kind = *planned->kind;
    else
        out.kind = pickKind();
    out.name = planned && planned->name ? *planned->name : makeName(out.kind);
    out.address = planned && planned->address ? *planned->address : makeAddress();
    out.phone = planned && planned->phone ? *planned->phone : makePhone();
    if (!planned || planned->noteMode == PlannedRecord::Note::Generated)
        out.note = makeNote();
    else if (planned->noteMode == PlannedRecord::Note::Null)
        out.note.reset();
    else if (planned->noteMode == PlannedRecord::Note::Empty)
        out.note = std::string();
    else
        out.note = planned->note;

    ++m_index;
    return true;
}

} // namespace gendb
