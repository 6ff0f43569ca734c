// The texts of the program, as the device shows them, and in English.
#include "res/program_strings.h"

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
    {kIdsOneAtATime, u"Одновременно открывается только один контейнер. Этот файл не открыт:\n%s"},
    {kIdsUnknownOption, u"Неизвестный параметр: %s"},
    {kIdsChooseFile, u"Выберите зашифрованный файл"},
    {kIdsContainerFiles, u"Контейнеры KVA"},
    {kIdsAllFiles, u"Все файлы"},
    {kIdsChooseFolder, u"Выберите папку"},
    {kIdsBrowse, u"…"},
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

// The same texts for an English desktop (platform/language.h). The title
// and the class name stay as they are: the single-instance check finds the
// running window by its class, and the title names the program, whatever
// its language; the browse button's "…" is no word.
constexpr platform::StringEntry kEnglishEntries[] = {
    {kIdsTitle, u"Tessaron"},
    {kIdsClassName, u"TESSARON"},
    {kIdsDecryptInto, u"Decrypt into folder"},
    {kIdsCreateFolder, u"This folder does not exist. Create it?"},
    {kIdsCannotCreate, u"Could not create "},
    {kIdsErrorCaption, u"Error"},
    {kIdsAskCaption, u"Question"},
    {kIdsWrongFolder, u"The folder given is not valid"},
    {kIdsWrongPassword, u"Sorry, you have entered a wrong password!"},
    {kIdsDecryptFailed, u"Error, the file may be damaged"},
    {kIdsUnpackFailed, u"Error, the file may be damaged"},
    {kIdsKeepOriginal, u"The file has been decrypted. Keep the original?"},
    {kIdsThreadFailed, u"Could not create"},
    {kIdsEnterPassword, u"Enter the password!"},
    {kIdsHintCaption, u"Hint"},
    {kIdsEnterFolder, u"Destination folder"},
    {kIdsBadCommandLine, u"The path to the file is not valid"},
    {kIdsBadPasswordCharacter, u"The password contains a character that is not allowed"},
    {kIdsOneAtATime, u"Only one container is opened at a time. This file was not opened:\n%s"},
    {kIdsUnknownOption, u"Unknown option: %s"},
    {kIdsChooseFile, u"Choose the encrypted file"},
    {kIdsContainerFiles, u"KVA containers"},
    {kIdsAllFiles, u"All files"},
    {kIdsChooseFolder, u"Choose the destination folder"},
    {kIdsBrowse, u"…"},
    {kIdsProcessingDone, u"Processing of the files complete"},
    {kIdsPackErrorCaption, u"Error"},
    {kIdsProcessingFiles, u"Files being processed"},
    {kIdsPackReadError,
     u"An error occurred while reading the file: %s!\n"
     u"%s\n"
     u"To skip this file choose \"Yes\"; to cancel the operation press the \"Cancel\" button"},
    {kIdsPackNoAttributes, u"Could not read the attributes of the file"},
};

constexpr platform::StringTable kEnglishStrings = {kEnglishEntries, std::size(kEnglishEntries)};

}  // namespace

const platform::StringTable kProgramStrings = {kEntries, std::size(kEntries), &kEnglishStrings};

}  // namespace res
