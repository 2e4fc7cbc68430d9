// A catalogue plug-in for the tests, built in three forms: the full one
// (libcatalog.so beside tst_catalog), one that declines the attachment
// (TESTCATALOG_DECLINE) and one without DetachPlugin (TESTCATALOG_NO_DETACH).
// Besides the plug-in interface it exports Test* functions through which the
// test reads what the host told it and calls the host's services.

#include <cstdlib>
#include <cstring>

#include "ordix/catalogplugin.h"

namespace
{
    struct State
    {
        char product[16] = {};
        void *window = nullptr;
        int detachCount = 0;
        int showCount = 0;
        int lastCode = 0;
        int lastReason = -1;
        OrdixAddToOrderService addToOrder = nullptr;
        void *addToOrderContext = nullptr;
        OrdixDownloadListService downloadList = nullptr;
        void *downloadListContext = nullptr;
        int clicks[8] = {};
        void *lastSender = nullptr;
    };
    State state;

    // Windows-1251 texts.
    char MenuCaption[] = "\xCA\xE0\xF2\xE0\xEB\xEE\xE3";                  // Каталог
    char FindCaption[] = "\xCF\xEE\xE8\xF1\xEA \xE4\xE5\xF2\xE0\xEB\xE8"; // Поиск детали
    char FindHint[] = "\xCF\xEE\xE8\xF1\xEA|\xCF\xEE\xE8\xF1\xEA \xE4\xE5\xF2\xE0\xEB\xE8 \xE2 "
                      "\xEA\xE0\xF2\xE0\xEB\xEE\xE3\xE5"; // Поиск|Поиск детали в каталоге
    char FindIcon[] = "find";
    char Separator[] = "--";
    char PhotoCaption[] = "\xD4\xEE\xF2\xEE";                      // Фото
    char PhotoHint[] = "\xD4\xEE\xF2\xEE\xE3\xF0\xE0\xF4\xE8\xFF"; // Фотография
    char FetchCaption[] = "\xD1\xEA\xE0\xF7\xE0\xF2\xFC";          // Скачать
    char MissingIcon[] = "no-such-picture-anywhere";
    char UnsafeIcon[] = "../find";

    int Items[8] = {0, 1, 2, 3, 4, 5, 6, 7};

    void ORDIX_CALL onClick(void *data, void *sender)
    {
        const int item = *static_cast<int *>(data);
        ++state.clicks[item];
        state.lastSender = sender;
    }
}

extern "C" {

ORDIX_PLUGIN_EXPORT int32_t ORDIX_CALL AttachPlugin(char **text, void *window)
{
    std::strncpy(state.product, *text, sizeof state.product - 1);
    state.window = window;
    *text = MenuCaption;
#ifdef TESTCATALOG_DECLINE
    return 0;
#else
    // Item 4 has no GetMenu4: no item is made for it.
    return 6;
#endif
}

#ifndef TESTCATALOG_NO_DETACH
ORDIX_PLUGIN_EXPORT void ORDIX_CALL DetachPlugin(void)
{
    ++state.detachCount;
    state.addToOrder = nullptr;
    state.downloadList = nullptr;
}
#endif

ORDIX_PLUGIN_EXPORT void ORDIX_CALL ShowItem(int32_t code, int32_t reason)
{
    ++state.showCount;
    state.lastCode = code;
    state.lastReason = reason;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL ProceedItemFunction(OrdixAddToOrderService service, void *context)
{
    state.addToOrder = service;
    state.addToOrderContext = context;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL DownloadListFunction(OrdixDownloadListService service, void *context)
{
    state.downloadList = service;
    state.downloadListContext = context;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL GetMenu1(char **caption, OrdixMethod *click, char **hint, char **icon)
{
    *caption = FindCaption;
    *click = OrdixMethod{&onClick, &Items[1]};
    *hint = FindHint;
    *icon = FindIcon;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL GetMenu2(char **caption, OrdixMethod *, char **, char **)
{
    *caption = Separator;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL GetMenu3(char **caption, OrdixMethod *click, char **hint, char **)
{
    *caption = PhotoCaption;
    *click = OrdixMethod{&onClick, &Items[3]};
    *hint = PhotoHint;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL GetMenu5(char **caption, OrdixMethod *click, char **, char **icon)
{
    *caption = FetchCaption;
    *click = OrdixMethod{&onClick, &Items[5]};
    *icon = MissingIcon;
}

ORDIX_PLUGIN_EXPORT void ORDIX_CALL GetMenu6(char **caption, OrdixMethod *, char **, char **icon)
{
    *caption = FetchCaption;
    *icon = UnsafeIcon; // no click handler
}

// --- for the tests --------------------------------------------------------

ORDIX_PLUGIN_EXPORT const char *TestProduct(void)
{
    return state.product;
}

ORDIX_PLUGIN_EXPORT void *TestWindow(void)
{
    return state.window;
}

ORDIX_PLUGIN_EXPORT int TestDetachCount(void)
{
    return state.detachCount;
}

ORDIX_PLUGIN_EXPORT int TestShowItem(int *code, int *reason)
{
    *code = state.lastCode;
    *reason = state.lastReason;
    return state.showCount;
}

ORDIX_PLUGIN_EXPORT int TestClicks(int item)
{
    return state.clicks[item];
}

ORDIX_PLUGIN_EXPORT void *TestLastSender(void)
{
    return state.lastSender;
}

ORDIX_PLUGIN_EXPORT int TestHasServices(void)
{
    return (state.addToOrder ? 1 : 0) + (state.downloadList ? 2 : 0);
}

ORDIX_PLUGIN_EXPORT int TestAddToOrder(int32_t code)
{
    if (!state.addToOrder)
        return 0;
    state.addToOrder(state.addToOrderContext, code);
    return 1;
}

// Runs the download-list service with `list`, copies the results into
// `results` (at most `size` bytes with the final zero) and frees the host's
// text as a plug-in must. Returns the service's count, -1 without the service.
ORDIX_PLUGIN_EXPORT int TestDownloadList(const char *list, const char *caption, char *results, int size)
{
    if (!state.downloadList)
        return -1;
    char *copy = static_cast<char *>(std::malloc(std::strlen(list) + 1));
    std::strcpy(copy, list);
    char *text = copy;
    const int32_t count = state.downloadList(state.downloadListContext, &text, caption);
    results[0] = '\0';
    if (text && text != copy) {
        std::strncpy(results, text, std::size_t(size) - 1);
        results[size - 1] = '\0';
        std::free(text);
    }
    std::free(copy);
    return count;
}

ORDIX_PLUGIN_EXPORT void TestReset(void)
{
    const int detached = state.detachCount;
    state = State();
    state.detachCount = detached;
}

} // extern "C"
