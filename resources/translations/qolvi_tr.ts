<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="tr">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>İşleniyor</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>Qolvi Masaüstü Aracısı</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>SINAV ANAHTARINIZ</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>SINAV ANAHTARINIZI AŞAĞIDAKİ KUTUYA GİRİN</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>Sınav anahtarı</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>ANAHTARI DOĞRULA</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>BAĞLANDI</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>SINAVA BAŞLA</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>BİLGİSAYARINIZDA BİR TARAYICI AÇIN</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>SINAVINIZ BİTENE KADAR BU UYGULAMAYI KAPATMAYIN</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>Aracının pencerelerinizi görebilmesi için sınavdan önce oturumu kapatıp yeniden açın.</translation>
    </message>
</context>
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <comment>Translate this string to the string &apos;LTR&apos; in left-to-right languages or to &apos;RTL&apos; in right-to-left languages (such as Hebrew and Arabic) to get proper widget layout.</comment>
        <translation>LTR</translation>
    </message>
</context>
<context>
    <name>Qolvi_Desktop_Agent::ContentView</name>
    <message>
        <source>The exam key was not accepted.</source>
        <translation>Sınav anahtarı kabul edilmedi.</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>Sınav hizmeti bağlantıyı sonlandırdı.</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>Lütfen sınav anahtarını girin.</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>Bu bilgisayardaki uygulamalar buradan görülemiyor. Aracıyı herhangi bir kapsayıcının veya korumalı alanın dışında çalıştırın.</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>Bu aracı, başka bir programın bildirdiklerini değiştirmesine izin veren bir şekilde başlatıldı. Aracıyı uygulamalar menünüzden yeniden başlatın.</translation>
    </message>
</context>
</TS>
