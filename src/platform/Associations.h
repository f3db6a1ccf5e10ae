// File associations: making Vellum the default viewer of its file types.
//
// The program keeps the shape of the classic extension -> ProgID -> open
// command registration, mapped onto the freedesktop.org specifications:
//
//   extension key (".djvu")        -> the extension's MIME type (fixed table:
//                                     ".djvu"/".djv" image/vnd.djvu, ".iw44"/
//                                     ".iw4" image/x-iw44, ".jpeg"/".jpg"
//                                     image/jpeg, ...) whose default
//                                     application, in the [Default
//                                     Applications] group of
//                                     $XDG_CONFIG_HOME/mimeapps.list, is the
//                                     ProgID's desktop file
//   ProgID ("Vellum.DJVU")         -> desktop file id "Vellum.DJVU.desktop" in
//                                     $XDG_DATA_HOME/applications
//   ProgID description             -> its Comment= ("Vellum DjVu Image")
//   ProgID\DefaultIcon (index n)   -> its Icon= ("vellum-filetype-n", the n-th
//                                     icon of the program, installed in the
//                                     icon theme) and X-Vellum-IconIndex=n
//   ProgID\shell\open\command      -> its Exec= (the quoted program path and
//                                     %f, the first argument)
//
// The MIME types DjVu and IW44 are declared in the shared MIME package
// $XDG_DATA_HOME/mime/packages/vellum.xml (written when an extension of
// those types is associated; update-mime-database is run on
// $XDG_DATA_HOME/mime when it is installed). The other types are the
// standard ones of shared-mime-info.
//
// An installed program (AppPaths.h) has all of that in its prefix: its
// desktop entry <prefix>/share/applications/org.vellum.Vellum.desktop, which
// lists every type, and the same MIME package. It then writes no desktop
// file and no MIME package: every default names "org.vellum.Vellum.desktop"
// and IsAssociated reads the Exec= line of the installed entry. Unassociate
// removes both kinds of ids, so defaults written by either form of the
// program are undone by the other.
//
// Consequences of the mapping: extensions sharing a MIME type (".jpeg" and
// ".jpg", ".tiff" and ".tif", ".djvu" and ".djv", ".iw44" and ".iw4") are
// associated together. Unassociate removes the default only when it names
// one of Vellum's desktop files (another program's choice is never
// removed); the desktop files (the "ProgID keys") stay in place. No desktop
// notification beyond update-mime-database is sent.
//
// Failures are reported through VellumMessageBox with the messages of the
// registry version ("Extension %s: RegQuery failure %d!", "Extension: RegSet
// failure %d!", ...), the code being the errno value. A folder that cannot
// be created ends a call with 0 silently (the registry's "key cannot be
// created"); a missing file is not an error.
//
// $XDG_DATA_HOME and $XDG_CONFIG_HOME are honoured (defaults ~/.local/share
// and ~/.config when unset or not absolute).
#ifndef VELLUM_PLATFORM_ASSOCIATIONS_H
#define VELLUM_PLATFORM_ASSOCIATIONS_H

#include <string>

// One file-type group of the General Settings dialog.
struct AssociationGroup
{
  const char *label;         // the check box text
  const char *extensions[3]; // null-terminated when shorter
  int kind;                  // file kind code
  const char *progId;
  const char *description;
  int iconIndex;
};

// The seven groups, in processing order: DJVU DJV, IW44 IW4, JPEG JPG,
// TIFF TIF, BMP, PBM PGM PPM, PNG.
const int kAssociationGroupCount = 7;
extern const AssociationGroup kAssociationGroups[kAssociationGroupCount];

// The ProgID of a file kind 1..7, or null.
const char *ProgIdForKind(int kind);
// The MIME type Vellum uses for an extension (".djvu", case ignored), or
// null for an extension it does not handle.
const char *MimeTypeForExtension(const std::string &extension);

// The association store. Virtual so that tests can record the calls the
// General Settings flow makes.
class CFileAssociations
{
public:
  virtual ~CFileAssociations() = default;
  // 1 when the extension's default application is the desktop file of the
  // kind's ProgID and that file has an Exec= line, else 0.
  virtual int IsAssociated(const std::string &extension, int kind) = 0;
  // Writes the desktop file of progId (description, icon, command) and
  // makes it the default for the extension's MIME type; 1 on success.
  virtual int Associate(const std::string &extension, const std::string &progId,
                        const std::string &description, int iconIndex) = 0;
  // Drops Vellum's default for the extension's MIME type; 1 on success.
  virtual int Unassociate(const std::string &extension) = 0;
};

// The freedesktop store.
class CXdgAssociations : public CFileAssociations
{
public:
  // programPath: the executable the open command runs (empty: the running
  // executable, whose installed desktop entry is then used when there is
  // one). dataHome / configHome: empty means from the environment.
  explicit CXdgAssociations(const std::string &programPath = std::string(),
                            const std::string &dataHome = std::string(),
                            const std::string &configHome = std::string());

  int IsAssociated(const std::string &extension, int kind) override;
  int Associate(const std::string &extension, const std::string &progId, const std::string &description,
                int iconIndex) override;
  int Unassociate(const std::string &extension) override;

  std::string MimeAppsPath() const;                             // .../mimeapps.list
  std::string DesktopFilePath(const std::string &progId) const; // .../applications/<progId>.desktop
  std::string MimePackagePath() const;                          // .../mime/packages/vellum.xml
  // The desktop file text for a ProgID.
  std::string DesktopFileText(const std::string &progId, const std::string &description, int iconIndex) const;

  // Whether Associate runs update-mime-database (default true).
  void SetRunMimeUpdate(bool run) { m_runMimeUpdate = run; }
  // The installed desktop entry to use instead of per-ProgID desktop files
  // (empty: none, as for a program run from its build folder).
  void SetInstalledEntry(const std::string &path) { m_installedEntry = path; }
  const std::string &InstalledEntry() const { return m_installedEntry; }
  // The desktop file id a default names for progId: "<progId>.desktop", or
  // the installed entry's id.
  std::string DesktopId(const std::string &progId) const;

private:
  std::string m_program, m_dataHome, m_configHome, m_installedEntry;
  bool m_runMimeUpdate = true;
};

// Quotes a program path for an Exec= line (desktop-entry quoting and
// escaping, "%" doubled).
std::string DesktopExecQuote(const std::string &path);

// The General Settings flow: states[i] = 1 exactly when every extension of
// group i is associated.
void ReadAssociationStates(CFileAssociations &store, bool states[kAssociationGroupCount]);
// For each group whose wanted state differs from before: unassociate each
// extension of a group that was associated, associate each extension of one
// that was not. Results are not checked further.
void ApplyAssociationChanges(CFileAssociations &store, const bool before[kAssociationGroupCount],
                             const bool wanted[kAssociationGroupCount]);

#endif
