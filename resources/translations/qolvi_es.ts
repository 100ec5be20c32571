<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>Procesando</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>Agente de escritorio Qolvi</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>SU CLAVE DE EXAMEN</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>INTRODUZCA SU CLAVE DE EXAMEN EN EL CAMPO DE ABAJO</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>Clave de examen</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>VERIFICAR LA CLAVE</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>CONECTADO</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>COMENZAR EL EXAMEN</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>ABRA UN NAVEGADOR EN SU EQUIPO</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>NO CIERRE ESTA APLICACIÓN HASTA TERMINAR SU EXAMEN</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>Para que el agente pueda ver sus ventanas, cierre la sesión y vuelva a iniciarla antes del examen.</translation>
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
        <translation>No se ha aceptado la clave de examen.</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>El servicio de examen ha finalizado la conexión.</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>Introduzca la clave de examen.</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>Las aplicaciones de este equipo no se pueden ver desde aquí. Ejecute el agente fuera de cualquier contenedor o espacio aislado.</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>Este agente se inició de una forma que permite a otro programa cambiar lo que informa. Vuelva a iniciarlo desde su menú de aplicaciones.</translation>
    </message>
</context>
</TS>
