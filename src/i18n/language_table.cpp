#include "i18n/language_table.h"

namespace wexmoor {

namespace {

// Columns: English key, Français, Український, Русский, Deutsch, 中文.
// A cell that repeats the English text is an untranslated cell.
constexpr std::array<LanguageRow, kLanguageRowCount> kRows{{
    {u"Remove from the list", u"Retirer de la liste", u"Вилучити зі списку", u"Убрать из списка",  // 1
     u"Aus der Liste entfernen", u"從清單中移除"},
    {u"Delete", u"Supprimer", u"Видалити", u"Удалить", u"Löschen", u"刪除"},  // 2
    {u"New", u"Ajouter", u"Новий", u"Новый", u"Neu", u"新增"},  // 3
    {u"Modify", u"Modifier", u"Правка", u"Правка", u"Ändern", u"修改"},  // 4
    {u"Drop here the files to upload", u"Déposez ici les fichiers", u"Перетягніть сюди файли",  // 5
     u"Перетащите сюда файлы", u"Dateien hier ablegen", u"將要上傳的檔案拖放到此處"},
    {u"FTP Servers", u"Serveurs FTP", u"FTP-сервери", u"FTP-серверы", u"FTP-Server", u"FTP 伺服器"},  // 6
    {u"Quit", u"Quitter", u"Вихід", u"Выход", u"Beenden", u"結束"},  // 7
    {u"Error", u"Erreur", u"Помилка", u"Ошибка", u"Fehler", u"錯誤"},  // 8
    {u"Connect", u"Connection", u"З'єднання", u"Соединение", u"Verbinden", u"連線"},  // 9
    {u"Server name:", u"Nom du serveur :", u"Назва сервера:", u"Имя сервера:", u"Servername:",  // 10
     u"伺服器名稱："},
    {u"Server adress & repertory:", u"Adresse du serveur et dossier :",  // 11
     u"Адреса сервера й каталог:", u"Адрес сервера и папка:", u"Serveradresse & Verzeichnis:",
     u"伺服器位址與目錄："},
    {u"Password:", u"Mot de passe :", u"Пароль:", u"Пароль:", u"Passwort:", u"密碼："},  // 12
    {u"Wait...", u"Patientez...", u"Зачекайте...", u"Подождите...", u"Bitte warten...", u"請稍候..."},  // 13
    {u"Cancel", u"Annuler", u"Відміна", u"Отмена", u"Abbruch", u"取消"},  // 14
    {u"Impossible to initialise connection (perhaps a login, adress or password problem...)",  // 15
     u"Impossible d'établir la connexion (peut-être un problème d'identifiant, d'adresse ou de mot de passe...)",
     u"Неможливо встановити з'єднання (можливо, проблема з логіном, адресою або паролем...)",
     u"Невозможно установить соединение (возможно, проблема с логином, адресом или паролем...)",
     u"Die Verbindung kann nicht hergestellt werden (vielleicht ein Problem mit Benutzername, Adresse oder Passwort...)",
     u"無法建立連線（可能是登入帳號、位址或密碼有問題...）"},
    {u"Impossible to initialise connection (Internet Access does'nt seem to work)",  // 16
     u"Impossible d'établir la connexion (l'accès à Internet ne semble pas fonctionner)",
     u"Неможливо встановити з'єднання (схоже, доступ до Інтернету не працює)",
     u"Невозможно установить соединение (похоже, доступ в Интернет не работает)",
     u"Die Verbindung kann nicht hergestellt werden (der Internetzugang scheint nicht zu funktionieren)",
     u"無法建立連線（網際網路連線似乎無法使用）"},
    {u"Impossible to create the file on the FTP.",  // 17
     u"Impossible de créer le fichier sur le serveur FTP.",
     u"Неможливо створити файл на FTP-сервері.", u"Невозможно создать файл на FTP-сервере.",
     u"Die Datei kann auf dem FTP-Server nicht angelegt werden.", u"無法在 FTP 伺服器上建立檔案。"},
    {u"The write operation on FTP has been interrupted",  // 18
     u"L'écriture sur le serveur FTP a été interrompue", u"Запис на FTP-сервер було перервано",
     u"Запись на FTP-сервер была прервана",
     u"Der Schreibvorgang auf dem FTP-Server wurde unterbrochen", u"FTP 寫入作業已中斷"},
    {u"Impossible to write on this FTP.", u"Impossible d'écrire sur ce serveur FTP.",  // 19
     u"Неможливо записати на цей FTP-сервер.", u"Невозможно записать на этот FTP-сервер.",
     u"Auf diesen FTP-Server kann nicht geschrieben werden.", u"無法寫入此 FTP 伺服器。"},
    {u"The file to upload has a size of zero!", u"Le fichier à envoyer a une taille nulle !",  // 20
     u"Файл для вивантаження має нульовий розмір!", u"Файл для загрузки имеет нулевой размер!",
     u"Die hochzuladende Datei ist leer!", u"要上傳的檔案大小為零！"},
    {u"Impossible to open the file to upload: ", u"Impossible d'ouvrir le fichier à envoyer : ",  // 21
     u"Неможливо відкрити файл для вивантаження: ", u"Невозможно открыть файл для загрузки: ",
     u"Die hochzuladende Datei kann nicht geöffnet werden: ", u"無法開啟要上傳的檔案: "},
    {u"Server", u"Serveur", u"Сервер", u"Сервер", u"Server", u"伺服器"},  // 22
    {u"About ", u"À propos de ", u"Про програму ", u"О программе ", u"Über ", u"關於 "},  // 23
    {u"", u"", u"", u"", u"", u""},  // 24
    {u"", u"", u"", u"", u"", u""},  // 25
    {u"Please send me your comments:", u"Envoyez-moi vos commentaires :",  // 26
     u"Надсилайте мені свої відгуки:", u"Присылайте мне свои отзывы:",
     u"Bitte senden Sie mir Ihre Kommentare:", u"歡迎將您的意見寄給我："},
    {u"Mail to the author", u"Écrire à l'auteur", u"Написати авторові", u"Написать автору",  // 27
     u"E-Mail an den Autor", u"寫信給作者"},
    {u"Comments about ", u"Commentaires sur ", u"Відгук про ", u"Отзыв о ", u"Kommentare zu ",  // 28
     u"意見回饋 "},
    {u"Choose your server destination before droping your file. You can send files to different FTPs if you change the server between each drop.",  // 29
     u"Choisissez le serveur de destination avant de déposer votre fichier. Vous pouvez envoyer des fichiers vers différents serveurs FTP en changeant de serveur entre chaque dépôt.",
     u"Виберіть сервер призначення, перш ніж перетягнути файл. Ви можете надсилати файли на різні FTP-сервери, якщо змінюватимете сервер перед кожним перетягуванням.",
     u"Выберите сервер назначения, прежде чем перетаскивать файл. Вы можете отправлять файлы на разные FTP-серверы, если будете менять сервер перед каждым перетаскиванием.",
     u"Wählen Sie den Zielserver, bevor Sie Ihre Datei ablegen. Sie können Dateien an verschiedene FTP-Server senden, wenn Sie den Server zwischen den einzelnen Ablagen wechseln.",
     u"拖放檔案之前，請先選擇目的伺服器。只要在每次拖放之間變更伺服器，就能將檔案傳送到不同的 FTP 伺服器。"},
    {u"To know the destination of a file, click on its name: the corresponding server will be selected in the top list.",  // 30
     u"Pour connaître la destination d'un fichier, cliquez sur son nom : le serveur correspondant sera sélectionné dans la liste du haut.",
     u"Щоб дізнатися, куди надсилається файл, клацніть його назву: відповідний сервер буде вибрано у верхньому списку.",
     u"Чтобы узнать, куда отправляется файл, щёлкните по его имени: соответствующий сервер будет выбран в верхнем списке.",
     u"Um das Ziel einer Datei zu sehen, klicken Sie auf ihren Namen: Der zugehörige Server wird in der oberen Liste ausgewählt.",
     u"若要知道檔案的目的地，請按一下檔名：對應的伺服器會在上方清單中被選取。"},
    {u"Have you got the last version ? Check at:",  // 31
     u"Avez-vous la dernière version ? Vérifiez sur :",
     u"У вас остання версія? Перевірте на:", u"У вас последняя версия? Проверьте на:",
     u"Haben Sie die neueste Version? Prüfen Sie unter:", u"您使用的是最新版本嗎？請到此查看："},
    {u"English", u"Anglais", u"Англійська", u"Английский", u"Englisch", u"英文"},  // 32
    {u"Clone the values of:", u"Copier depuis :", u"Копіювати з:", u"Копировать из:",  // 33
     u"Kopieren von:", u"複製設定自："},
    {u"Impossible to create this directory: ", u"Impossible de créer ce dossier : ",  // 34
     u"Неможливо створити цей каталог: ", u"Невозможно создать эту папку: ",
     u"Dieses Verzeichnis kann nicht erstellt werden: ", u"無法建立此目錄: "},
    {u"Unable To open source file", u"Impossible d'ouvrir le fichier source",  // 35
     u"Неможливо відкрити вихідний файл", u"Не удаётся открыть исходный файл",
     u"Die Quelldatei kann nicht geöffnet werden", u"無法開啟來源檔案"},
    {u"A read error occured", u"Une erreur de lecture s'est produite", u"Сталася помилка читання",  // 36
     u"Произошла ошибка чтения", u"Ein Lesefehler ist aufgetreten", u"發生讀取錯誤"},
    {u"Error while creating Zip file", u"Erreur lors de la création du fichier Zip",  // 37
     u"Помилка під час створення Zip-файлу", u"Ошибка при создании Zip-файла",
     u"Fehler beim Erstellen der Zip-Datei", u"建立 Zip 檔案時發生錯誤"},
    {u"Always zip before upload", u"Toujours zipper avant envoi", u"Завжди пакувати в zip",  // 38
     u"Всегда упаковывать в zip", u"Immer vor Upload zippen", u"上傳前一律壓縮成 zip"},
    {u"Replace space by _ in names", u"Remplacer les espaces par _ dans les noms",  // 39
     u"Замінювати пробіли на _ в іменах", u"Заменять пробелы на _ в именах",
     u"Leerzeichen in Namen durch _ ersetzen", u"將名稱中的空格替換為 _"},
    {u"CAUTION!", u"ATTENTION !", u"УВАГА !", u"ВНИМАНИЕ !", u"ACHTUNG!", u"警告!"},  // 40
    {u"Are you sure that you want to delete the sever named ",  // 41
     u"Voulez-vous vraiment supprimer le serveur nommé ", u"Ви справді бажаєте видалити сервер ",
     u"Вы действительно хотите удалить сервер ",
     u"Möchten Sie wirklich den folgenden Server löschen: ", u"確定要刪除伺服器 "},
    {u"Error while reading FTP content", u"Erreur lors de la lecture du contenu FTP",  // 42
     u"Помилка під час читання вмісту FTP", u"Ошибка при чтении содержимого FTP",
     u"Fehler beim Lesen des FTP-Inhalts", u"讀取 FTP 內容時發生錯誤"},
    {u"Error while opening the directory ", u"Erreur lors de l'ouverture du dossier ",  // 43
     u"Помилка під час відкриття каталогу ", u"Ошибка при открытии папки ",
     u"Fehler beim Öffnen des Verzeichnisses ", u"開啟目錄時發生錯誤: "},
    {u"Parent folder", u"Dossier parent", u"На рівень вгору", u"На уровень вверх",  // 44
     u"Übergeordnetes Verzeichnis", u"上層目錄"},
    {u"Content", u"Contenu", u"Вміст", u"Содержимое", u"Inhalt", u"內容"},  // 45
    {u"Open with your browser", u"Voir dans le navigateur", u"Відкрити в браузері",  // 46
     u"Открыть в браузере", u"Im Browser öffnen", u"用瀏覽器開啟"},
    {u"Lock the server list.", u"Verrouiller la liste des serveurs.",  // 47
     u"Заблокувати список серверів.", u"Заблокировать список серверов.", u"Serverliste sperren.",
     u"鎖定伺服器清單。"},
    {u"Discover the other free programs of the Wexmoor team!!",  // 48
     u"Découvrez les autres logiciels gratuits de l'équipe Wexmoor !!",
     u"Відкрийте для себе інші безкоштовні програми команди Wexmoor!!",
     u"Откройте для себя другие бесплатные программы команды Wexmoor!!",
     u"Entdecken Sie die anderen kostenlosen Programme des Wexmoor-Teams!!",
     u"歡迎探索 Wexmoor 團隊的其他免費程式!!"},
    {u"Passive", u"Passive", u"Passive", u"Passive", u"Passive", u"被動模式"},  // 49
    {u"Active", u"Active", u"Active", u"Active", u"Active", u"主動模式"},  // 50
    {u"Use the router IP", u"Via l'IP du routeur", u"Через IP роутера", u"Через IP роутера",  // 51
     u"Router-IP verwenden", u"使用路由器 IP"},
    {u"Port:", u"Port :", u"Порт:", u"Порт:", u"Port:", u"連接埠："},  // 52
    {u"Connection TimeOut:", u"Délai de connexion :", u"Тайм-аут з'єднання:",  // 53
     u"Тайм-аут соединения:", u"Verbindungs-Timeout:", u"連線逾時："},
    {u"Visit the author's site", u"Visiter le site de l'auteur", u"Відвідати сайт автора",  // 54
     u"Посетить сайт автора", u"Zur Website des Autors", u"造訪作者網站"},
    {u" is available on the Wexmoor web site. Your version is: ",  // 55
     u" est disponible sur le site web de Wexmoor. Votre version est : ",
     u" можна завантажити з сайту Wexmoor. Ваша версія: ",
     u" можно скачать с сайта Wexmoor. Ваша версия: ",
     u" ist auf der Wexmoor-Website verfügbar. Ihre Version ist: ", u" 已可從 Wexmoor 網站取得。您的版本是: "},
    {u"Do you want to update it?", u"Voulez-vous faire la mise à jour ?", u"Бажаєте оновити?",  // 56
     u"Хотите обновить?", u"Möchten Sie jetzt aktualisieren?", u"您要更新嗎？"},
    {u"Download will start. You will be notified when it will be finished.",  // 57
     u"Le téléchargement va commencer. Vous serez averti lorsqu'il sera terminé.",
     u"Завантаження розпочнеться. Ви отримаєте повідомлення, коли його буде завершено.",
     u"Загрузка начнётся. Вы получите уведомление, когда она завершится.",
     u"Der Download beginnt. Sie werden benachrichtigt, sobald er abgeschlossen ist.",
     u"即將開始下載。下載完成時會通知您。"},
    {u"Update", u"Mise à jour", u"Оновлення", u"Обновление", u"Aktualisierung", u"更新"},  // 58
    {u"Download is done.", u"Le téléchargement est terminé.", u"Завантаження завершено.",  // 59
     u"Загрузка завершена.", u"Der Download ist abgeschlossen.", u"下載完成。"},
    {u" will be updated on next starting.", u" sera mis à jour au prochain démarrage.",  // 60
     u" буде оновлено під час наступного запуску.", u" будет обновлён при следующем запуске.",
     u" wird beim nächsten Start aktualisiert.", u" 將在下次啟動時更新。"},
    {u"Disable automatic updates", u"Pas de mise à jour automatique", u"Вимкнути автооновлення",  // 61
     u"Отключить автообновление", u"Auto-Updates deaktivieren", u"停用自動更新"},
    {u"Restart ", u"Redémarrer ", u"Перезапустити ", u"Перезапустить ", u"Starten Sie ",  // 62
     u"立即重新啟動 "},
    {u"Downloaded archive is corrupted. Try again.",  // 63
     u"L'archive téléchargée est endommagée. Réessayez.",
     u"Завантажений архів пошкоджено. Спробуйте ще раз.",
     u"Загруженный архив повреждён. Попробуйте ещё раз.",
     u"Das heruntergeladene Archiv ist beschädigt. Versuchen Sie es erneut.", u"下載的壓縮檔已損毀，請再試一次。"},
    {u"The new version can't be downloaded. Try again later.",  // 64
     u"La nouvelle version ne peut pas être téléchargée. Réessayez plus tard.",
     u"Не вдалося завантажити нову версію. Спробуйте пізніше.",
     u"Не удалось загрузить новую версию. Попробуйте позже.",
     u"Die neue Version kann nicht heruntergeladen werden. Versuchen Sie es später erneut.",
     u"無法下載新版本，請稍後再試。"},
    {u" now", u" maintenant", u" зараз", u" сейчас", u" jetzt neu", u" 程式"},  // 65
    {u"sec.", u"sec.", u"sec.", u"sec.", u"sec.", u"秒."},  // 66
    {u"Preferences", u"Préférences", u"Налаштування", u"Настройки", u"Einstellungen", u"偏好設定"},  // 67
    {u"Login:", u"Identifiant :", u"Логін:", u"Логин:", u"Benutzername:", u"登入帳號："},  // 68
    {u"Status:", u"État :", u"Стан:", u"Статус:", u"Status:", u"狀態："},  // 69
    {u"In progress...", u"En cours...", u"Виконується...", u"Выполняется...", u"In Arbeit...",  // 70
     u"處理中..."},
    {u"OK", u"OK", u"OK", u"OK", u"OK", u"確定"},  // 71
    {u"Language", u"Langue", u"Language", u"Language", u"Language", u"Language"},  // 72
    {u"Yes", u"Oui", u"Yes", u"Yes", u"Yes", u"確定"},  // 73
    {u"No", u"Non", u"No", u"No", u"No", u"取消"},  // 74
    {u"Encode file names using UTF8", u"Noms de fichiers en UTF8", u"Імена файлів у UTF8",  // 75
     u"Имена файлов в UTF8", u"Dateinamen in UTF8", u"以 UTF8 編碼檔名"},
    {u"Send ''opts utf8 on'' to the server", u"Envoyer ''opts utf8 on''",  // 76
     u"Надсилати ''opts utf8 on''", u"Отправлять ''opts utf8 on''", u"''opts utf8 on'' senden",
     u"傳送 ''opts utf8 on''"},
    {u"Generate a locked version of Wexmoor", u"Générer une version verrouillée de Wexmoor",  // 77
     u"Створити заблоковану версію Wexmoor", u"Создать заблокированную версию Wexmoor",
     u"Gesperrte Version von Wexmoor erzeugen", u"產生 Wexmoor 的鎖定版本"},
    {u"Save a locked version of Wexmoor", u"Enregistrer une version verrouillée de Wexmoor",  // 78
     u"Зберегти заблоковану версію Wexmoor", u"Сохранить заблокированную версию Wexmoor",
     u"Gesperrte Version von Wexmoor speichern", u"儲存 Wexmoor 的鎖定版本"},
    {u"This command will generate a locked version of Wexmoor which you can distribute to your friends or clients.",  // 79
     u"Cette commande va générer une version verrouillée de Wexmoor que vous pourrez distribuer à vos amis ou clients.",
     u"Ця команда створить заблоковану версію Wexmoor, яку ви зможете роздати своїм друзям або клієнтам.",
     u"Эта команда создаст заблокированную версию Wexmoor, которую вы сможете раздать своим друзьям или клиентам.",
     u"Dieser Befehl erzeugt eine gesperrte Version von Wexmoor, die Sie an Freunde oder Kunden weitergeben können.",
     u"此命令會產生 Wexmoor 的鎖定版本，您可以將它分發給您的朋友或客戶。"},
    {u"Please choose the server/folder that you want them to use.",  // 80
     u"Choisissez le serveur/dossier que vous voulez leur faire utiliser.",
     u"Виберіть сервер/каталог, яким вони мають користуватися.",
     u"Выберите сервер/папку, которыми они должны пользоваться.",
     u"Bitte wählen Sie den Server/Ordner, den sie verwenden sollen.", u"請選擇您要他們使用的伺服器/資料夾。"},
    {u"Your FTP adress, login and password will be hidden into this program file.",  // 81
     u"Votre adresse FTP, votre identifiant et votre mot de passe seront cachés dans ce fichier programme.",
     u"Вашу адресу FTP, логін і пароль буде приховано в цьому файлі програми.",
     u"Ваш адрес FTP, логин и пароль будут скрыты в этом файле программы.",
     u"Ihre FTP-Adresse, Ihr Benutzername und Ihr Passwort werden in dieser Programmdatei versteckt.",
     u"您的 FTP 位址、登入帳號和密碼將會隱藏在此程式檔案中。"},
    {u"Add the repertory or repertories name(s) after the adress as:",  // 82
     u"Ajoutez le ou les noms de dossiers après l'adresse, ainsi :",
     u"Додайте назву каталогу або каталогів після адреси, ось так:",
     u"Добавьте имя папки или папок после адреса, вот так:",
     u"Fügen Sie den oder die Verzeichnisnamen wie folgt an die Adresse an:", u"請在位址後面加上目錄名稱，例如："},
    {u"Personalize with a picture...", u"Ajouter une image...", u"Додати зображення...",  // 83
     u"Добавить картинку...", u"Bild hinzufügen...", u"加入圖片..."},
    {u"Sorry, maximum size for the picture is ", u"Désolé, la taille maximale de l'image est de ",  // 84
     u"На жаль, максимальний розмір зображення — ", u"Извините, максимальный размер изображения — ",
     u"Die maximale Größe für das Bild beträgt leider ", u"抱歉，圖片大小上限為 "},
    {u" bytes, and this picture has a size of ", u" octets, et cette image a une taille de ",  // 85
     u" байт, а розмір цього зображення — ", u" байт, а размер этого изображения — ",
     u" Bytes, dieses Bild ist jedoch ", u" 位元組，而此圖片的大小為 "},
    {u" bytes.", u" octets.", u" байт.", u" байт.", u" Bytes groß.", u" 位元組。"},  // 86
    {u"Please try to save your picture in compressed JPEG or GIF format.",  // 87
     u"Essayez d'enregistrer votre image au format compressé JPEG ou GIF.",
     u"Спробуйте зберегти зображення у стиснутому форматі JPEG або GIF.",
     u"Попробуйте сохранить изображение в сжатом формате JPEG или GIF.",
     u"Bitte speichern Sie Ihr Bild im komprimierten JPEG- oder GIF-Format.",
     u"請嘗試將圖片儲存為壓縮的 JPEG 或 GIF 格式。"},
    {u"Needed size is: width->", u"Taille requise : largeur->", u"Потрібний розмір: ширина->",  // 88
     u"Требуемый размер: ширина->", u"Benötigte Größe: Breite->", u"所需尺寸：寬度->"},
    {u" px  /  height->", u" px  /  hauteur->", u" px  /  висота->", u" px  /  высота->",  // 89
     u" px  /  Höhe->", u" px  /  高度->"},
    {u" px", u" px", u" px", u" px", u" px", u" px"},  // 90
    {u"You are using a customized and locked version of this program.",  // 91
     u"Vous utilisez une version personnalisée et verrouillée de ce programme.",
     u"Ви використовуєте персоналізовану та заблоковану версію цієї програми.",
     u"Вы используете персонализированную и заблокированную версию этой программы.",
     u"Sie verwenden eine angepasste und gesperrte Version dieses Programms.", u"您正在使用此程式的自訂鎖定版本。"},
    {u"Go to the author's site to download the free full version.",  // 92
     u"Rendez-vous sur le site de l'auteur pour télécharger la version complète gratuite.",
     u"Перейдіть на сайт автора, щоб завантажити безкоштовну повну версію.",
     u"Перейдите на сайт автора, чтобы скачать бесплатную полную версию.",
     u"Auf der Website des Autors können Sie die kostenlose Vollversion herunterladen.",
     u"請到作者的網站下載免費的完整版。"},
    {u"Full version", u"Version complète", u"Повна версія", u"Полная версия", u"Vollversion",  // 93
     u"完整版"},
    {u"Welcome to this new version!", u"Bienvenue dans cette nouvelle version !",  // 94
     u"Welcome to this new version!", u"Welcome to this new version!",
     u"Welcome to this new version!", u"Welcome to this new version!"},
    {u"This new version of Wexmoor offers you a new exciting option.",  // 95
     u"Cette nouvelle version de Wexmoor vous offre une nouvelle option passionnante.",
     u"Ця нова версія Wexmoor пропонує вам нову цікаву можливість.",
     u"Эта новая версия Wexmoor предлагает вам новую интересную возможность.",
     u"Diese neue Version von Wexmoor bietet Ihnen eine spannende neue Funktion.",
     u"這個新版本的 Wexmoor 提供一項令人興奮的新功能。"},
    {u"You can now generate a customized and locked version of this program which includes your logo and a server settings.",  // 96
     u"Vous pouvez maintenant générer une version personnalisée et verrouillée de ce programme, avec votre logo et les réglages d'un serveur.",
     u"Тепер ви можете створити персоналізовану та заблоковану версію цієї програми з вашим логотипом і налаштуваннями сервера.",
     u"Теперь вы можете создать персонализированную и заблокированную версию этой программы с вашим логотипом и настройками сервера.",
     u"Sie können jetzt eine angepasste und gesperrte Version dieses Programms erzeugen, die Ihr Logo und die Einstellungen eines Servers enthält.",
     u"您現在可以產生此程式的自訂鎖定版本，其中包含您的標誌和一組伺服器設定。"},
    {u"So, you can give a securized access to your FTP (or to one of the repertories of your FTP) to your friends or clients.",  // 97
     u"Vous pouvez ainsi offrir à vos amis ou clients un accès sécurisé à votre FTP (ou à l'un de ses dossiers).",
     u"Так ви можете надати своїм друзям або клієнтам захищений доступ до вашого FTP (або до одного з його каталогів).",
     u"Так вы можете предоставить своим друзьям или клиентам защищённый доступ к вашему FTP (или к одной из его папок).",
     u"So können Sie Freunden oder Kunden einen gesicherten Zugang zu Ihrem FTP-Server (oder zu einem seiner Verzeichnisse) geben.",
     u"如此一來，您就能讓朋友或客戶安全地存取您的 FTP（或其中的某個目錄）。"},
    {u"Clic on the ''?'' button to try it!!", u"Cliquez sur le bouton ''?'' pour l'essayer !!",  // 98
     u"Натисніть кнопку ''?'', щоб спробувати!!", u"Нажмите кнопку ''?'', чтобы попробовать!!",
     u"Klicken Sie auf die Schaltfläche ''?'', um es auszuprobieren!!", u"按一下 ''?'' 按鈕來試試看!!"},
    {u"Please choose your server setting:", u"Choisissez les réglages du serveur :",  // 99
     u"Виберіть налаштування сервера:", u"Выберите настройки сервера:",
     u"Bitte wählen Sie die Servereinstellungen:", u"請選擇您的伺服器設定："},
    {u"files in progress", u"fichiers en cours", u"файлів передається", u"файлов передаётся",  // 100
     u"Dateien in Arbeit", u"個檔案傳送中"},
    {u"Connections:", u"Connexions :", u"З'єднань:", u"Соединений:", u"Verbindungen:", u"連線數："},  // 101
    {u"Retry now", u"Réessayer maintenant", u"Повторити зараз", u"Повторить сейчас",  // 102
     u"Jetzt erneut versuchen", u"立即重試"},
    {u"Next attempt at", u"Prochain essai à", u"Наступна спроба о", u"Следующая попытка в",  // 103
     u"Nächster Versuch um", u"下次嘗試時間"},
    {u"Protocol:", u"Protocole :", u"Протокол:", u"Протокол:", u"Protokoll:", u"通訊協定："},  // 104
    {u"FTP (no encryption)", u"FTP (sans chiffrement)", u"FTP (без шифрування)",  // 105
     u"FTP (без шифрования)", u"FTP (unverschlüsselt)", u"FTP（不加密）"},
    {u"FTP, TLS if offered", u"FTP, TLS si proposé", u"FTP, TLS якщо є", u"FTP, TLS если есть",  // 106
     u"FTP, TLS falls angeboten", u"FTP，可用時使用 TLS"},
    {u"FTP, TLS required", u"FTP, TLS obligatoire", u"FTP, TLS обов'язково",  // 107
     u"FTP, TLS обязательно", u"FTP, TLS erforderlich", u"FTP，必須使用 TLS"},
    {u"FTP over implicit TLS", u"FTP sur TLS implicite", u"FTP через неявний TLS",  // 108
     u"FTP через неявный TLS", u"FTP über implizites TLS", u"FTP 透過隱含式 TLS"},
    {u"SFTP", u"SFTP", u"SFTP", u"SFTP", u"SFTP", u"SFTP"},  // 109
    {u"Certificate", u"Certificat", u"Сертифікат", u"Сертификат", u"Zertifikat", u"憑證"},  // 110
    {u"The server shows a certificate that is not trusted yet.",  // 111
     u"Le serveur présente un certificat qui n'est pas encore approuvé.",
     u"Сервер надав сертифікат, якому ще не довіряють.",
     u"Сервер предъявил сертификат, которому ещё нет доверия.",
     u"Der Server zeigt ein Zertifikat, dem noch nicht vertraut wird.", u"伺服器出示的憑證尚未受信任。"},
    {u"Warning: the server's certificate has changed since you trusted it!",  // 112
     u"Attention : le certificat du serveur a changé depuis que vous l'avez approuvé !",
     u"Увага: сертифікат сервера змінився відтоді, як ви йому довірилися!",
     u"Внимание: сертификат сервера изменился с тех пор, как вы ему доверились!",
     u"Achtung: Das Zertifikat des Servers hat sich geändert, seit Sie ihm vertraut haben!",
     u"警告：伺服器的憑證在您信任後已變更！"},
    {u"Subject:", u"Sujet :", u"Суб'єкт:", u"Субъект:", u"Inhaber:", u"主體："},  // 113
    {u"Issuer:", u"Émetteur :", u"Видавець:", u"Издатель:", u"Aussteller:", u"簽發者："},  // 114
    {u"Valid from:", u"Valide du :", u"Дійсний з:", u"Действителен с:", u"Gültig ab:", u"有效期自："},  // 115
    {u"Valid until:", u"Valide jusqu'au :", u"Дійсний до:", u"Действителен до:", u"Gültig bis:",  // 116
     u"有效期至："},
    {u"SHA-256 fingerprint:", u"Empreinte SHA-256 :", u"Відбиток SHA-256:", u"Отпечаток SHA-256:",  // 117
     u"SHA-256-Fingerabdruck:", u"SHA-256 指紋："},
    {u"Trust", u"Approuver", u"Довіряти", u"Доверять", u"Vertrauen", u"信任"},  // 118
    {u"Trust this certificate for this server?", u"Approuver ce certificat pour ce serveur ?",  // 119
     u"Довіряти цьому сертифікату для цього сервера?", u"Доверять этому сертификату для этого сервера?",
     u"Diesem Zertifikat für diesen Server vertrauen?", u"要為此伺服器信任此憑證嗎？"},
    {u"Watch folders...", u"Dossiers surveillés...", u"Теки спостереження...",  // 120
     u"Папки наблюдения...", u"Überwachte Ordner...", u"監視資料夾..."},
    {u"Watch folders", u"Dossiers surveillés", u"Теки спостереження", u"Папки наблюдения",  // 121
     u"Überwachte Ordner", u"監視資料夾"},
    {u"Folder:", u"Dossier :", u"Тека:", u"Папка:", u"Ordner:", u"資料夾："},  // 122
    {u"Remote subfolder:", u"Sous-dossier distant :", u"Віддалена підтека:",  // 123
     u"Удалённая подпапка:", u"Entfernter Unterordner:", u"遠端子資料夾："},
    {u"Move into Sent after upload", u"Déplacer dans Sent après l'envoi",  // 124
     u"Перемістити в Sent після вивантаження", u"Переместить в Sent после загрузки",
     u"Nach dem Hochladen nach Sent verschieben", u"上傳後移至 Sent"},
    {u"Add", u"Ajouter", u"Додати", u"Добавить", u"Hinzufügen", u"加入"},  // 125
    {u"Notifications", u"Notifications", u"Сповіщення", u"Уведомления", u"Benachrichtigungen",  // 126
     u"通知"},
    {u"Host key", u"Clé d'hôte", u"Ключ хоста", u"Ключ хоста", u"Host-Schlüssel", u"主機金鑰"},  // 127
    {u"The server shows a host key that is not trusted yet.",  // 128
     u"Le serveur présente une clé d'hôte qui n'est pas encore approuvée.",
     u"Сервер надав ключ хоста, якому ще не довіряють.", u"Сервер предъявил ключ хоста, которому ещё нет доверия.",
     u"Der Server zeigt einen Host-Schlüssel, dem noch nicht vertraut wird.", u"伺服器出示的主機金鑰尚未受信任。"},
    {u"Key type:", u"Type de clé :", u"Тип ключа:", u"Тип ключа:", u"Schlüsseltyp:", u"金鑰類型："},  // 129
    {u"Trust this host key for this server?", u"Approuver cette clé d'hôte pour ce serveur ?",  // 130
     u"Довіряти цьому ключу хоста для цього сервера?", u"Доверять этому ключу хоста для этого сервера?",
     u"Diesem Host-Schlüssel für diesen Server vertrauen?", u"要為此伺服器信任此主機金鑰嗎？"},
    {u"Please give the server a name.", u"Veuillez donner un nom au serveur.",  // 131
     u"Будь ласка, дайте серверу назву.", u"Пожалуйста, дайте серверу имя.", u"Bitte geben Sie dem Server einen Namen.", u"請為伺服器命名。"},
    {u"Another server already has this name. Please choose another one.", u"Un autre serveur porte déjà ce nom. Veuillez en choisir un autre.",  // 132
     u"Інший сервер уже має цю назву. Виберіть іншу.", u"Другой сервер уже носит это имя. Выберите другое.", u"Ein anderer Server hat bereits diesen Namen. Bitte wählen Sie einen anderen.", u"已有其他伺服器使用此名稱，請選擇其他名稱。"},
    {u"These servers had the name of another server and were renamed:", u"Ces serveurs portaient le nom d'un autre serveur et ont été renommés :",  // 133
     u"Ці сервери мали назву іншого сервера й були перейменовані:", u"Эти серверы носили имя другого сервера и были переименованы:", u"Diese Server hatten den Namen eines anderen Servers und wurden umbenannt:", u"下列伺服器與其他伺服器同名，已重新命名："},
    {u"The list is full: no more than 50 servers can be configured.", u"La liste est pleine : 50 serveurs au plus peuvent être configurés.",  // 134
     u"Список заповнено: можна налаштувати не більше 50 серверів.", u"Список заполнен: можно настроить не более 50 серверов.", u"Die Liste ist voll: Es können höchstens 50 Server eingerichtet werden.", u"清單已滿：最多只能設定 50 個伺服器。"},
    {u"Connection refused", u"Connexion refusée",  // 135
     u"З'єднання відхилено", u"Соединение отклонено", u"Verbindung abgelehnt", u"連線被拒絕"},
    {u"Login refused", u"Identifiants refusés",  // 136
     u"Вхід відхилено", u"Вход отклонён", u"Anmeldung abgelehnt", u"登入被拒絕"},
    {u"Certificate not trusted", u"Certificat non approuvé",  // 137
     u"Сертифікату не довіряють", u"Сертификату нет доверия", u"Zertifikat nicht vertraut", u"憑證未受信任"},
    {u"Certificate changed", u"Certificat modifié",  // 138
     u"Сертифікат змінився", u"Сертификат изменился", u"Zertifikat geändert", u"憑證已變更"},
    {u"Host key unknown", u"Clé d'hôte inconnue",  // 139
     u"Невідомий ключ хоста", u"Неизвестный ключ хоста", u"Host-Schlüssel unbekannt", u"主機金鑰不明"},
    {u"Server full", u"Serveur plein",  // 140
     u"Сервер переповнено", u"Сервер переполнен", u"Server voll", u"伺服器已滿"},
    {u"File refused:", u"Fichier refusé :",  // 141
     u"Файл відхилено:", u"Файл отклонён:", u"Datei abgelehnt:", u"檔案被拒絕："},
    {u"Server not found", u"Serveur introuvable",  // 142
     u"Сервер не знайдено", u"Сервер не найден", u"Server nicht gefunden", u"找不到伺服器"},
    {u"No answer from the server", u"Pas de réponse du serveur",  // 143
     u"Сервер не відповідає", u"Сервер не отвечает", u"Keine Antwort vom Server", u"伺服器沒有回應"},
    {u"Connection failed", u"Échec de la connexion",  // 144
     u"Не вдалося з'єднатися", u"Не удалось соединиться", u"Verbindung fehlgeschlagen", u"連線失敗"},
    {u"Cannot open the local file:", u"Impossible d'ouvrir le fichier local :",  // 145
     u"Неможливо відкрити локальний файл:", u"Невозможно открыть локальный файл:", u"Die lokale Datei kann nicht geöffnet werden:", u"無法開啟本機檔案："},
    {u"Upload failed", u"Échec de l'envoi",  // 146
     u"Вивантаження не вдалося", u"Загрузка не удалась", u"Hochladen fehlgeschlagen", u"上傳失敗"},
    {u"Host key changed", u"Clé d'hôte modifiée",  // 147
     u"Ключ хоста змінився", u"Ключ хоста изменился", u"Host-Schlüssel geändert", u"主機金鑰已變更"},
    {u"History...", u"Historique...", u"Історія...", u"История...", u"Verlauf...", u"歷史記錄..."},  // 148
    {u"History", u"Historique", u"Історія", u"История", u"Verlauf", u"歷史記錄"},  // 149
    {u"Time", u"Heure", u"Час", u"Время", u"Zeit", u"時間"},  // 150
    {u"Result", u"Résultat", u"Результат", u"Результат", u"Ergebnis", u"結果"},  // 151
    {u"File", u"Fichier", u"Файл", u"Файл", u"Datei", u"檔案"},  // 152
    {u"Verification", u"Vérification", u"Перевірка", u"Проверка", u"Prüfung", u"驗證"},  // 153
    {u"Copy link", u"Copier le lien", u"Копіювати посилання", u"Копировать ссылку", u"Link kopieren",  // 154
     u"複製連結"},
    {u"Open containing folder", u"Ouvrir le dossier", u"Відкрити теку", u"Открыть папку",  // 155
     u"Ordner öffnen", u"開啟所在資料夾"},
    {u"Web address:", u"Adresse web :", u"Веб-адреса:", u"Веб-адрес:", u"Webadresse:", u"網址："},  // 156
    {u"Sent", u"Envoyé", u"Надіслано", u"Отправлено", u"Gesendet", u"已傳送"},  // 157
    {u"Failed", u"Échec", u"Помилка", u"Ошибка", u"Fehlgeschlagen", u"失敗"},  // 158
    {u"Dropped", u"Abandonné", u"Відкинуто", u"Отброшено", u"Verworfen", u"已捨棄"},  // 159
    {u"Move to top", u"Placer en tête", u"Перемістити на початок", u"Переместить в начало",  // 160
     u"Nach oben verschieben", u"移至頂端"},
    {u"Move to bottom", u"Placer à la fin", u"Перемістити в кінець", u"Переместить в конец",  // 161
     u"Nach unten verschieben", u"移至底端"},
    {u"Pause this server", u"Suspendre ce serveur", u"Призупинити цей сервер",  // 162
     u"Приостановить этот сервер", u"Diesen Server anhalten", u"暫停此伺服器"},
    {u"Resume this server", u"Reprendre ce serveur", u"Відновити цей сервер",  // 163
     u"Возобновить этот сервер", u"Diesen Server fortsetzen", u"繼續此伺服器"},
    {u"Pause all", u"Tout suspendre", u"Призупинити все", u"Приостановить все", u"Alle anhalten",  // 164
     u"全部暫停"},
    {u"Resume all", u"Tout reprendre", u"Відновити все", u"Возобновить все", u"Alle fortsetzen",  // 165
     u"全部繼續"},
    {u"Paused", u"En pause", u"Призупинено", u"Приостановлено", u"Angehalten", u"已暫停"},  // 166
    {u"%1 could not be read as settings; it was kept as %2 and the settings start anew",  // 167
     u"%1 n'a pas pu être lu comme fichier de réglages ; il a été conservé sous %2 et les réglages repartent de zéro",
     u"%1 не вдалося прочитати як налаштування; його збережено як %2, і налаштування починаються заново",
     u"%1 не удалось прочитать как настройки; он сохранён как %2, и настройки начинаются заново",
     u"%1 konnte nicht als Einstellungen gelesen werden; die Datei wurde als %2 aufbewahrt, die Einstellungen beginnen neu",
     u"無法將 %1 讀取為設定；已將其保留為 %2，設定將重新開始"},
    {u"%1 could not be read as settings and could not be renamed; it is left as it is",  // 168
     u"%1 n'a pas pu être lu comme fichier de réglages ni être renommé ; il est laissé tel quel",
     u"%1 не вдалося прочитати як налаштування і не вдалося перейменувати; його залишено як є",
     u"%1 не удалось прочитать как настройки и не удалось переименовать; он оставлен как есть",
     u"%1 konnte weder als Einstellungen gelesen noch umbenannt werden; die Datei bleibt, wie sie ist",
     u"無法將 %1 讀取為設定，也無法重新命名；檔案保持原樣"},
    {u"%1 cannot be read; the settings are not saved while it stays so",  // 169
     u"%1 ne peut pas être lu ; les réglages ne sont pas enregistrés tant que cela dure",
     u"%1 неможливо прочитати; налаштування не зберігаються, доки так триває",
     u"%1 невозможно прочитать; настройки не сохраняются, пока это так",
     u"%1 kann nicht gelesen werden; die Einstellungen werden nicht gespeichert, solange das so bleibt",
     u"無法讀取 %1；在此情況持續期間不會儲存設定"},
    {u"%1 is missing; the settings are written anew", u"%1 est introuvable ; les réglages sont écrits à nouveau",  // 170
     u"%1 відсутній; налаштування записуються заново", u"%1 отсутствует; настройки записываются заново",
     u"%1 fehlt; die Einstellungen werden neu geschrieben", u"找不到 %1；將重新寫入設定"},
    {u"%1: no server named \"%2\"; its files wait until there is one",  // 171
     u"%1 : aucun serveur nommé « %2 » ; ses fichiers attendent qu'il existe",
     u"%1: немає сервера з назвою «%2»; його файли чекають, доки він з'явиться",
     u"%1: нет сервера с именем «%2»; его файлы ждут, пока он появится",
     u"%1: kein Server namens „%2“; seine Dateien warten, bis es ihn gibt",
     u"%1：沒有名為「%2」的伺服器；其檔案將等待至該伺服器存在"},
    {u"%1 is read-only; settings cannot be saved",  // 172
     u"%1 est en lecture seule ; les réglages ne peuvent pas être enregistrés",
     u"%1 доступний лише для читання; налаштування неможливо зберегти",
     u"%1 доступен только для чтения; настройки невозможно сохранить",
     u"%1 ist schreibgeschützt; die Einstellungen können nicht gespeichert werden",
     u"%1 為唯讀；無法儲存設定"},
    {u"Limit...", u"Limite...", u"Обмеження...", u"Ограничение...", u"Begrenzung...", u"限速..."},  // 173
    {u"Upload limit in KiB/s (0 or empty: off):", u"Limite d'envoi en Kio/s (0 ou vide : aucune) :",  // 174
     u"Обмеження відвантаження, КіБ/с (0 або порожньо: без обмеження):",
     u"Ограничение отправки, КиБ/с (0 или пусто: без ограничения):",
     u"Upload-Grenze in KiB/s (0 oder leer: keine):", u"上傳限速（KiB/s，0 或空白：不限）："},
    {u"(limited)", u"(limité)", u"(обмежено)", u"(ограничено)", u"(begrenzt)", u"（限速）"},  // 175
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
