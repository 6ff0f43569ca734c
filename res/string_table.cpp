// The texts of the program, as the device shows them.
#include "res/string_table.h"

#include <iterator>

#include "res/resource_ids.h"

namespace res {
namespace {

constexpr platform::StringEntry kEntries[] = {
    {kIdsTitle, u"Tessaron"},
    {kIdsClassName, u"TESSARON"},
    {kIdsDecryptInto, u"Расшифровать в папку"},
    {kIdsCreateFolder, u"Такой папки не существует.Создать?"},
    {kIdsCannotCreate, u"Не удалось создать "},
    {kIdsErrorCaption, u"Ошибка"},
    {kIdsAskCaption, u"Спросить"},
    {kIdsWrongFolder, u"Указана неверная папка"},
    {kIdsWrongPassword, u"К сожалению, вы ввели неправильный пароль!"},
    {kIdsDecryptFailed, u"Ошибка,файл может быть повреждён"},
    {kIdsUnpackFailed, u"Ошибка,файл может быть повреждён"},
    {kIdsKeepOriginal, u"Файл расшифрован.Сохранить оригинал?"},
    {kIdsThreadFailed, u"Не удалось создать"},
    {kIdsEnterPassword, u"Введите пароль!"},
    {kIdsHintCaption, u"Совет"},
    {kIdsEnterFolder, u"Укажите путь к файлу"},
    {kIdsBadCommandLine, u"Недопустимый путь к файлу"},
    {kIdsBadPasswordCharacter, u"Пароль содержит недопустимый символ"},
    {kIdsProcessingDone, u"Полная обработка файлов"},
    {kIdsPackErrorCaption, u"Ошибка"},
    {kIdsProcessingFiles, u"Обрабатываемые файлы"},
    // Three lines: the file's path, the system's text for the error, and
    // the choice between skipping the file and cancelling.
    {kIdsPackReadError,
     u"При чтении файла:% s, произошла ошибка!\n"
     u"%s\n"
     u"Чтобы пропустить этот файл выберите \"\" Да, чтобы отменить операцию нажмите кнопку "
     u"\"Отмена\"\"\""},
    {kIdsPackNoAttributes, u"Не удалось просмотреть атрибуты файла"},
};

}  // namespace

const platform::StringTable kProgramStrings = {kEntries, std::size(kEntries)};

}  // namespace res
