/*
 * Ordix catalogue plug-in interface.
 *
 * A parts catalogue joins Ordix as a shared library beside the program's
 * executable: "libcatalog.so" on Linux, "catalog.dll" on Windows. Ordix loads
 * it from that folder only (never from the current folder or the library
 * path), when its main window is first shown, and unloads it when the window
 * closes. See docs/catalog-plugin.md for the whole story.
 *
 * Every text that crosses this interface is a zero-terminated single-byte
 * text in the Windows-1251 code page, in either direction.
 *
 * Every function, in either direction, uses ORDIX_CALL: the standard system
 * calling convention (__stdcall on 32-bit Windows, the platform's only C
 * convention elsewhere). Export the functions under their plain names
 * (extern "C", no decoration; on 32-bit Windows use a .def file).
 *
 * Everything runs on the program's user-interface thread: the program calls
 * the library only from user-interface events, and the library must call
 * the two services below on that thread.
 */
#ifndef ORDIX_CATALOGPLUGIN_H
#define ORDIX_CATALOGPLUGIN_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ORDIX_CALL __stdcall
#else
#define ORDIX_CALL
#endif

#if defined(_WIN32)
#define ORDIX_PLUGIN_EXPORT __declspec(dllexport)
#else
#define ORDIX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- click handlers of the plug-in's menu items ---------------------------
 *
 * A click handler is a code address and a context value. When the user
 * clicks the menu item, Ordix calls code(data, sender): data is the context
 * value that GetMenu<n> returned with the handler, sender is an opaque handle
 * of the clicked menu item (the same value for the same item for as long as
 * the menu exists; do not dereference it). */
typedef void(ORDIX_CALL *OrdixClickCode)(void *data, void *sender);

typedef struct OrdixMethod
{
    OrdixClickCode code; /* null: the item does nothing */
    void *data;
} OrdixMethod;

/* ---- services that Ordix gives the library ------------------------------- */

/* Adds the part with this code to the order. When no price list is loaded,
 * Ordix first asks the user whether to open one. A code missing from the
 * price list gives the warning "Can't find item <code>". context: the value
 * that Ordix handed to ProceedItemFunction. */
typedef void(ORDIX_CALL *OrdixAddToOrderService)(void *context, int32_t code);

/* Downloads a list of files from the supplier's web server into the
 * program's current folder.
 *
 * *list on entry: either the list itself (lines separated by CR, LF or
 * CR LF) or the name of an existing list file holding those lines. Each line
 * is one of
 *     address                 -> local name: the address after its last "/" or "\"
 *     address=local           -> local name: local
 *     address=tag=local       -> local name: local; the result line carries the tag
 * An address that begins with "http://" (in lower case) is used as it is;
 * any other address is appended to the base address: the program's price
 * address setting up to and including its last "/" or "\".
 * A local name must stay inside the current folder: no absolute path, no
 * drive letter and no ".." part; "/" and "\" both separate subfolders, which
 * are made as needed. A line that breaks this rule fails.
 *
 * *list on return: a newly allocated text with one line per downloaded file
 * ("local" or "local=tag", each followed by a line feed). It is allocated
 * with the C library's malloc(); the library owns it and releases it with
 * free() (on Windows both sides must use the shared universal C runtime).
 * The text that *list pointed to on entry is not touched or released.
 *
 * A list file is deleted when every line was processed; after a stop with
 * Escape the lines not yet processed are written back into it. Lines that
 * failed are written to the list file's name with ".err" appended.
 *
 * caption: the text of the progress window. Returns the number of files
 * downloaded. */
typedef int32_t(ORDIX_CALL *OrdixDownloadListService)(void *context, char **list, const char *caption);

/* ---- exports of the library ------------------------------------------------
 *
 * AttachPlugin and DetachPlugin are required; the others are optional. */

/* Called once after loading. *text points on entry to the program's product
 * word "zolt"; point it at the caption of the main-menu entry (the text must
 * stay valid until AttachPlugin returns; Ordix copies it). window: the
 * program's main window (on X11 the window id, on Windows the HWND).
 * Returns the number of menu items; 0 or less declines: no menu, no photo
 * entry, no services, and the library stays loaded until the program ends. */
typedef int32_t(ORDIX_CALL *OrdixAttachPlugin)(char **text, void *window);
#define ORDIX_ATTACH_PLUGIN "AttachPlugin"

/* Called once before unloading. Neither the services nor any menu item's
 * sender handle may be used afterwards. */
typedef void(ORDIX_CALL *OrdixDetachPlugin)(void);
#define ORDIX_DETACH_PLUGIN "DetachPlugin"

/* The current part of the price list. reason: 1 when the price list's cursor
 * moved (called on every move while the plug-in is attached), 0 when the
 * user chose "Просмотр фотографии" in the price list's context menu. */
typedef void(ORDIX_CALL *OrdixShowItem)(int32_t code, int32_t reason);
#define ORDIX_SHOW_ITEM "ShowItem"

/* Hands the library the add-to-order service, once after a successful
 * attachment. */
typedef void(ORDIX_CALL *OrdixProceedItemFunction)(OrdixAddToOrderService service, void *context);
#define ORDIX_PROCEED_ITEM_FUNCTION "ProceedItemFunction"

/* Hands the library the download-list service, once after a successful
 * attachment. */
typedef void(ORDIX_CALL *OrdixDownloadListFunction)(OrdixDownloadListService service, void *context);
#define ORDIX_DOWNLOAD_LIST_FUNCTION "DownloadListFunction"

/* GetMenu1, GetMenu2, ... up to the number AttachPlugin returned: describe
 * the menu items in order. All four fields are null on entry; point them at
 * texts that stay valid until the function returns (Ordix copies them).
 *   caption: the item's caption; "--" makes a separator line.
 *   click:   the click handler (see OrdixClickCode).
 *   hint:    "tool tip|status line text"; without "|" it serves as both.
 *   icon:    null for no picture, or the name of a picture file in the
 *            library's folder: "name", "name.png", "name.svg", "name.ico",
 *            "name.xpm" and "name.bmp" are tried in that order, then the
 *            desktop's icon theme. The name is a plain file name: one with a
 *            "/" or "\" or ".." gives no picture.
 * A number for which the library has no GetMenu<n> export gives no item. */
typedef void(ORDIX_CALL *OrdixGetMenu)(char **caption, OrdixMethod *click, char **hint, char **icon);
#define ORDIX_GET_MENU_PREFIX "GetMenu"

#ifdef __cplusplus
}
#endif

#endif /* ORDIX_CATALOGPLUGIN_H */
