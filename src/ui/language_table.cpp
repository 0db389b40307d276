#include "ui/language_table.h"

namespace wexmoor {

namespace {

// Columns: English key, Français, Український, Русский, Deutsch, 中文.
// A cell that repeats the English text is an untranslated cell.
constexpr std::array<LanguageRow, kLanguageRowCount> kRows{{
    {u"Remove from the list", u"Remove from the list", u"Remove from the list", u"Remove from the list", u"Remove from the list", u"Remove from the list"},  // 1
    {u"Delete", u"Delete", u"Delete", u"Delete", u"Delete", u"Delete"},  // 2
    {u"New", u"New", u"New", u"New", u"New", u"New"},  // 3
    {u"Modify", u"Modify", u"Modify", u"Modify", u"Modify", u"Modify"},  // 4
    {u"Drop here the files to upload", u"Drop here the files to upload", u"Drop here the files to upload", u"Drop here the files to upload", u"Drop here the files to upload", u"Drop here the files to upload"},  // 5
    {u"FTP Servers", u"FTP Servers", u"FTP Servers", u"FTP Servers", u"FTP Servers", u"FTP Servers"},  // 6
    {u"Quit", u"Quit", u"Quit", u"Quit", u"Quit", u"Quit"},  // 7
    {u"Error", u"Error", u"Error", u"Error", u"Error", u"Error"},  // 8
    {u"Connect", u"Connect", u"Connect", u"Connect", u"Connect", u"Connect"},  // 9
    {u"Server name:", u"Server name:", u"Server name:", u"Server name:", u"Server name:", u"Server name:"},  // 10
    {u"Server adress & repertory:", u"Server adress & repertory:", u"Server adress & repertory:", u"Server adress & repertory:", u"Server adress & repertory:", u"Server adress & repertory:"},  // 11
    {u"Password:", u"Password:", u"Password:", u"Password:", u"Password:", u"Password:"},  // 12
    {u"Wait...", u"Wait...", u"Wait...", u"Wait...", u"Wait...", u"Wait..."},  // 13
    {u"Cancel", u"Cancel", u"Cancel", u"Cancel", u"Cancel", u"Cancel"},  // 14
    {u"Impossible to initialise connection (perhaps a login, adress or password problem...)", u"Impossible to initialise connection (perhaps a login, adress or password problem...)", u"Impossible to initialise connection (perhaps a login, adress or password problem...)", u"Impossible to initialise connection (perhaps a login, adress or password problem...)", u"Impossible to initialise connection (perhaps a login, adress or password problem...)", u"Impossible to initialise connection (perhaps a login, adress or password problem...)"},  // 15
    {u"Impossible to initialise connection (Internet Access does'nt seem to work)", u"Impossible to initialise connection (Internet Access does'nt seem to work)", u"Impossible to initialise connection (Internet Access does'nt seem to work)", u"Impossible to initialise connection (Internet Access does'nt seem to work)", u"Impossible to initialise connection (Internet Access does'nt seem to work)", u"Impossible to initialise connection (Internet Access does'nt seem to work)"},  // 16
    {u"Impossible to create the file on the FTP.", u"Impossible to create the file on the FTP.", u"Impossible to create the file on the FTP.", u"Impossible to create the file on the FTP.", u"Impossible to create the file on the FTP.", u"Impossible to create the file on the FTP."},  // 17
    {u"The write operation on FTP has been interrupted", u"The write operation on FTP has been interrupted", u"The write operation on FTP has been interrupted", u"The write operation on FTP has been interrupted", u"The write operation on FTP has been interrupted", u"The write operation on FTP has been interrupted"},  // 18
    {u"Impossible to write on this FTP.", u"Impossible to write on this FTP.", u"Impossible to write on this FTP.", u"Impossible to write on this FTP.", u"Impossible to write on this FTP.", u"Impossible to write on this FTP."},  // 19
    {u"The file to upload has a size of zero!", u"The file to upload has a size of zero!", u"The file to upload has a size of zero!", u"The file to upload has a size of zero!", u"The file to upload has a size of zero!", u"The file to upload has a size of zero!"},  // 20
    {u"Impossible to open the file to upload: ", u"Impossible to open the file to upload: ", u"Impossible to open the file to upload: ", u"Impossible to open the file to upload: ", u"Impossible to open the file to upload: ", u"Impossible to open the file to upload: "},  // 21
    {u"Server", u"Server", u"Server", u"Server", u"Server", u"Server"},  // 22
    {u"About ", u"About ", u"About ", u"About ", u"About ", u"About "},  // 23
    {u"", u"", u"", u"", u"", u""},  // 24
    {u"", u"", u"", u"", u"", u""},  // 25
    {u"Please send me your comments:", u"Please send me your comments:", u"Please send me your comments:", u"Please send me your comments:", u"Please send me your comments:", u"Please send me your comments:"},  // 26
    {u"Mail to the author", u"Mail to the author", u"Mail to the author", u"Mail to the author", u"Mail to the author", u"Mail to the author"},  // 27
    {u"Comments about ", u"Comments about ", u"Comments about ", u"Comments about ", u"Comments about ", u"Comments about "},  // 28
    {u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.", u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.", u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.", u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.", u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.", u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop."},  // 29
    {u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.", u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.", u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.", u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.", u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.", u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list."},  // 30
    {u"Have you got the last version ? Check at:", u"Have you got the last version ? Check at:", u"Have you got the last version ? Check at:", u"Have you got the last version ? Check at:", u"Have you got the last version ? Check at:", u"Have you got the last version ? Check at:"},  // 31
    {u"English", u"English", u"English", u"English", u"English", u"English"},  // 32
    {u"Clone the values of:", u"Clone the values of:", u"Clone the values of:", u"Clone the values of:", u"Clone the values of:", u"Clone the values of:"},  // 33
    {u"Impossible to create this directory: ", u"Impossible to create this directory: ", u"Impossible to create this directory: ", u"Impossible to create this directory: ", u"Impossible to create this directory: ", u"Impossible to create this directory: "},  // 34
    {u"Unable To open source file", u"Unable To open source file", u"Unable To open source file", u"Unable To open source file", u"Unable To open source file", u"Unable To open source file"},  // 35
    {u"A read error occured", u"A read error occured", u"A read error occured", u"A read error occured", u"A read error occured", u"A read error occured"},  // 36
    {u"Error while creating Zip file", u"Error while creating Zip file", u"Error while creating Zip file", u"Error while creating Zip file", u"Error while creating Zip file", u"Error while creating Zip file"},  // 37
    {u"Always zip before upload", u"Always zip before upload", u"Always zip before upload", u"Always zip before upload", u"Always zip before upload", u"Always zip before upload"},  // 38
    {u"Replace space by _ in names", u"Replace space by _ in names", u"Replace space by _ in names", u"Replace space by _ in names", u"Replace space by _ in names", u"Replace space by _ in names"},  // 39
    {u"CAUTION!", u"CAUTION!", u"CAUTION!", u"CAUTION!", u"CAUTION!", u"CAUTION!"},  // 40
    {u"Are you sure that you want to delete the sever named ", u"Are you sure that you want to delete the sever named ", u"Are you sure that you want to delete the sever named ", u"Are you sure that you want to delete the sever named ", u"Are you sure that you want to delete the sever named ", u"Are you sure that you want to delete the sever named "},  // 41
    {u"Error while reading FTP content", u"Error while reading FTP content", u"Error while reading FTP content", u"Error while reading FTP content", u"Error while reading FTP content", u"Error while reading FTP content"},  // 42
    {u"Error while opening the directory ", u"Error while opening the directory ", u"Error while opening the directory ", u"Error while opening the directory ", u"Error while opening the directory ", u"Error while opening the directory "},  // 43
    {u"Parent folder", u"Parent folder", u"Parent folder", u"Parent folder", u"Parent folder", u"Parent folder"},  // 44
    {u"Content", u"Content", u"Content", u"Content", u"Content", u"Content"},  // 45
    {u"Open with your browser", u"Open with your browser", u"Open with your browser", u"Open with your browser", u"Open with your browser", u"Open with your browser"},  // 46
    {u"Lock the server list.", u"Lock the server list.", u"Lock the server list.", u"Lock the server list.", u"Lock the server list.", u"Lock the server list."},  // 47
    {u"Discover the other free programs of the Wexmoor team!!", u"Discover the other free programs of the Wexmoor team!!", u"Discover the other free programs of the Wexmoor team!!", u"Discover the other free programs of the Wexmoor team!!", u"Discover the other free programs of the Wexmoor team!!", u"Discover the other free programs of the Wexmoor team!!"},  // 48
    {u"Passive", u"Passive", u"Passive", u"Passive", u"Passive", u"Passive"},  // 49
    {u"Active", u"Active", u"Active", u"Active", u"Active", u"Active"},  // 50
    {u"Use the router IP", u"Use the router IP", u"Use the router IP", u"Use the router IP", u"Use the router IP", u"Use the router IP"},  // 51
    {u"Port:", u"Port:", u"Port:", u"Port:", u"Port:", u"Port:"},  // 52
    {u"Connection TimeOut:", u"Connection TimeOut:", u"Connection TimeOut:", u"Connection TimeOut:", u"Connection TimeOut:", u"Connection TimeOut:"},  // 53
    {u"Visit the author's site", u"Visit the author's site", u"Visit the author's site", u"Visit the author's site", u"Visit the author's site", u"Visit the author's site"},  // 54
    {u" is available on the Wexmoor web site. Your version is: ", u" is available on the Wexmoor web site. Your version is: ", u" is available on the Wexmoor web site. Your version is: ", u" is available on the Wexmoor web site. Your version is: ", u" is available on the Wexmoor web site. Your version is: ", u" is available on the Wexmoor web site. Your version is: "},  // 55
    {u"Do you want to update it?", u"Do you want to update it?", u"Do you want to update it?", u"Do you want to update it?", u"Do you want to update it?", u"Do you want to update it?"},  // 56
    {u"Download will start. You will be notified when it will be finished.", u"Download will start. You will be notified when it will be finished.", u"Download will start. You will be notified when it will be finished.", u"Download will start. You will be notified when it will be finished.", u"Download will start. You will be notified when it will be finished.", u"Download will start. You will be notified when it will be finished."},  // 57
    {u"Update", u"Update", u"Update", u"Update", u"Update", u"Update"},  // 58
    {u"Download is done.", u"Download is done.", u"Download is done.", u"Download is done.", u"Download is done.", u"Download is done."},  // 59
    {u" will be updated on next starting.", u" will be updated on next starting.", u" will be updated on next starting.", u" will be updated on next starting.", u" will be updated on next starting.", u" will be updated on next starting."},  // 60
    {u"Disable automatic updates", u"Disable automatic updates", u"Disable automatic updates", u"Disable automatic updates", u"Disable automatic updates", u"Disable automatic updates"},  // 61
    {u"Restart ", u"Restart ", u"Restart ", u"Restart ", u"Restart ", u"Restart "},  // 62
    {u"Downloaded archive is corrupted. Try again.", u"Downloaded archive is corrupted. Try again.", u"Downloaded archive is corrupted. Try again.", u"Downloaded archive is corrupted. Try again.", u"Downloaded archive is corrupted. Try again.", u"Downloaded archive is corrupted. Try again."},  // 63
    {u"The new version can't be downloaded. Try again later.", u"The new version can't be downloaded. Try again later.", u"The new version can't be downloaded. Try again later.", u"The new version can't be downloaded. Try again later.", u"The new version can't be downloaded. Try again later.", u"The new version can't be downloaded. Try again later."},  // 64
    {u" now", u" now", u" now", u" now", u" now", u" now"},  // 65
    {u"sec.", u"sec.", u"sec.", u"sec.", u"sec.", u"sec."},  // 66
    {u"Preferences", u"Preferences", u"Preferences", u"Preferences", u"Preferences", u"Preferences"},  // 67
    {u"Login:", u"Login:", u"Login:", u"Login:", u"Login:", u"Login:"},  // 68
    {u"Status:", u"Status:", u"Status:", u"Status:", u"Status:", u"Status:"},  // 69
    {u"In progress...", u"In progress...", u"In progress...", u"In progress...", u"In progress...", u"In progress..."},  // 70
    {u"OK", u"OK", u"OK", u"OK", u"OK", u"OK"},  // 71
    {u"Language", u"Language", u"Language", u"Language", u"Language", u"Language"},  // 72
    {u"Yes", u"Yes", u"Yes", u"Yes", u"Yes", u"Yes"},  // 73
    {u"No", u"No", u"No", u"No", u"No", u"No"},  // 74
    {u"Encode file names using UTF8", u"Encode file names using UTF8", u"Encode file names using UTF8", u"Encode file names using UTF8", u"Encode file names using UTF8", u"Encode file names using UTF8"},  // 75
    {u"Send ''opts utf8 on'' to the server", u"Send ''opts utf8 on'' to the server", u"Send ''opts utf8 on'' to the server", u"Send ''opts utf8 on'' to the server", u"Send ''opts utf8 on'' to the server", u"Send ''opts utf8 on'' to the server"},  // 76
    {u"Generate a locked version of Wexmoor", u"Generate a locked version of Wexmoor", u"Generate a locked version of Wexmoor", u"Generate a locked version of Wexmoor", u"Generate a locked version of Wexmoor", u"Generate a locked version of Wexmoor"},  // 77
    {u"Save a locked version of Wexmoor", u"Save a locked version of Wexmoor", u"Save a locked version of Wexmoor", u"Save a locked version of Wexmoor", u"Save a locked version of Wexmoor", u"Save a locked version of Wexmoor"},  // 78
    {u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.", u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.", u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.", u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.", u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.", u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients."},  // 79
    {u"Please choose the server/folder that you want them to use.", u"Please choose the server/folder that you want them to use.", u"Please choose the server/folder that you want them to use.", u"Please choose the server/folder that you want them to use.", u"Please choose the server/folder that you want them to use.", u"Please choose the server/folder that you want them to use."},  // 80
    {u"Your FTP adress, login and password will be encrypted and hidden into this .exe file.", u"Your FTP adress, login and password will be encrypted and hidden into this .exe file.", u"Your FTP adress, login and password will be encrypted and hidden into this .exe file.", u"Your FTP adress, login and password will be encrypted and hidden into this .exe file.", u"Your FTP adress, login and password will be encrypted and hidden into this .exe file.", u"Your FTP adress, login and password will be encrypted and hidden into this .exe file."},  // 81
    {u"Add the repertory or repertories name(s) after the adress as:", u"Add the repertory or repertories name(s) after the adress as:", u"Add the repertory or repertories name(s) after the adress as:", u"Add the repertory or repertories name(s) after the adress as:", u"Add the repertory or repertories name(s) after the adress as:", u"Add the repertory or repertories name(s) after the adress as:"},  // 82
    {u"Personalize with a picture...", u"Personalize with a picture...", u"Personalize with a picture...", u"Personalize with a picture...", u"Personalize with a picture...", u"Personalize with a picture..."},  // 83
    {u"Sorry, maximum size for the picture is ", u"Sorry, maximum size for the picture is ", u"Sorry, maximum size for the picture is ", u"Sorry, maximum size for the picture is ", u"Sorry, maximum size for the picture is ", u"Sorry, maximum size for the picture is "},  // 84
    {u" bytes, and this picture has a size of ", u" bytes, and this picture has a size of ", u" bytes, and this picture has a size of ", u" bytes, and this picture has a size of ", u" bytes, and this picture has a size of ", u" bytes, and this picture has a size of "},  // 85
    {u" bytes.", u" bytes.", u" bytes.", u" bytes.", u" bytes.", u" bytes."},  // 86
    {u"Please try to save your picture in compressed JPEG or GIF format.", u"Please try to save your picture in compressed JPEG or GIF format.", u"Please try to save your picture in compressed JPEG or GIF format.", u"Please try to save your picture in compressed JPEG or GIF format.", u"Please try to save your picture in compressed JPEG or GIF format.", u"Please try to save your picture in compressed JPEG or GIF format."},  // 87
    {u"Needed size is: width->", u"Needed size is: width->", u"Needed size is: width->", u"Needed size is: width->", u"Needed size is: width->", u"Needed size is: width->"},  // 88
    {u" px  /  height->", u" px  /  height->", u" px  /  height->", u" px  /  height->", u" px  /  height->", u" px  /  height->"},  // 89
    {u" px", u" px", u" px", u" px", u" px", u" px"},  // 90
    {u"You are using a customized and locked version of this program.", u"You are using a customized and locked version of this program.", u"You are using a customized and locked version of this program.", u"You are using a customized and locked version of this program.", u"You are using a customized and locked version of this program.", u"You are using a customized and locked version of this program."},  // 91
    {u"Go to the author's site to download the free full version.", u"Go to the author's site to download the free full version.", u"Go to the author's site to download the free full version.", u"Go to the author's site to download the free full version.", u"Go to the author's site to download the free full version.", u"Go to the author's site to download the free full version."},  // 92
    {u"Full version", u"Full version", u"Full version", u"Full version", u"Full version", u"Full version"},  // 93
    {u"Welcome to this new version!", u"Welcome to this new version!", u"Welcome to this new version!", u"Welcome to this new version!", u"Welcome to this new version!", u"Welcome to this new version!"},  // 94
    {u"This new version of Wexmoor offers you a new exciting option.", u"This new version of Wexmoor offers you a new exciting option.", u"This new version of Wexmoor offers you a new exciting option.", u"This new version of Wexmoor offers you a new exciting option.", u"This new version of Wexmoor offers you a new exciting option.", u"This new version of Wexmoor offers you a new exciting option."},  // 95
    {u"You can now generate a customized and locked version of this program which includes your logo and a server settings.", u"You can now generate a customized and locked version of this program which includes your logo and a server settings.", u"You can now generate a customized and locked version of this program which includes your logo and a server settings.", u"You can now generate a customized and locked version of this program which includes your logo and a server settings.", u"You can now generate a customized and locked version of this program which includes your logo and a server settings.", u"You can now generate a customized and locked version of this program which includes your logo and a server settings."},  // 96
    {u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.", u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.", u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.", u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.", u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.", u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients."},  // 97
    {u"Clic on the ''?'' button to try it!!", u"Clic on the ''?'' button to try it!!", u"Clic on the ''?'' button to try it!!", u"Clic on the ''?'' button to try it!!", u"Clic on the ''?'' button to try it!!", u"Clic on the ''?'' button to try it!!"},  // 98
    {u"Please choose your server setting:", u"Please choose your server setting:", u"Please choose your server setting:", u"Please choose your server setting:", u"Please choose your server setting:", u"Please choose your server setting:"},  // 99
}};

}  // namespace

std::span<const LanguageRow> LanguageRows() { return kRows; }

const LanguageRow* LanguageRowByNumber(int rowNumber) {
  if (rowNumber < 1 || rowNumber > kLanguageRowCount) return nullptr;
  return &kRows[static_cast<std::size_t>(rowNumber - 1)];
}

TextView LanguageRowKey(int rowNumber) {
  const LanguageRow* row = LanguageRowByNumber(rowNumber);
  return row ? (*row)[0] : TextView{};
}

int LanguageColumn(TextView languageName) {
  for (int column = 0; column < kLanguageCount; ++column) {
    if (kLanguageNames[static_cast<std::size_t>(column)] == languageName) return column;
  }
  return -1;
}

}  // namespace wexmoor
