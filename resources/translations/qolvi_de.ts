<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>Wird bearbeitet</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>Qolvi Desktop-Agent</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>IHR PRÜFUNGSSCHLÜSSEL</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>GEBEN SIE IHREN PRÜFUNGSSCHLÜSSEL UNTEN EIN</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>Prüfungsschlüssel</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>SCHLÜSSEL PRÜFEN</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>VERBUNDEN</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>PRÜFUNG BEGINNEN</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>ÖFFNEN SIE EINEN BROWSER AUF IHREM COMPUTER</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>SCHLIESSEN SIE DIESE ANWENDUNG ERST NACH IHRER PRÜFUNG</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>Damit der Agent Ihre Fenster sehen kann, melden Sie sich vor der Prüfung ab und wieder an.</translation>
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
        <translation>Der Prüfungsschlüssel wurde nicht angenommen.</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>Der Prüfungsdienst hat die Verbindung beendet.</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>Bitte geben Sie den Prüfungsschlüssel ein.</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>Die Anwendungen dieses Computers sind von hier aus nicht sichtbar. Führen Sie den Agenten außerhalb von Containern und Sandboxen aus.</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>Dieser Agent wurde auf eine Weise gestartet, die es einem anderen Programm erlaubt, zu verändern, was er meldet. Starten Sie ihn erneut über Ihr Anwendungsmenü.</translation>
    </message>
</context>
</TS>
