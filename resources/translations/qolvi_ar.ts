<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>جارٍ المعالجة</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>وكيل سطح المكتب Qolvi</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>مفتاح الامتحان الخاص بك</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>أدخل مفتاح الامتحان في المربع أدناه</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>مفتاح الامتحان</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>تحقّق من المفتاح</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>متّصل</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>ابدأ الامتحان</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>افتح متصفّحًا على حاسوبك</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>لا تغلق هذا التطبيق حتى تنهي امتحانك</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>لكي يتمكّن الوكيل من رؤية نوافذك، سجّل الخروج ثم سجّل الدخول مجددًا قبل الامتحان.</translation>
    </message>
</context>
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <comment>Translate this string to the string &apos;LTR&apos; in left-to-right languages or to &apos;RTL&apos; in right-to-left languages (such as Hebrew and Arabic) to get proper widget layout.</comment>
        <translation>RTL</translation>
    </message>
</context>
<context>
    <name>Qolvi_Desktop_Agent::ContentView</name>
    <message>
        <source>The exam key was not accepted.</source>
        <translation>لم يُقبَل مفتاح الامتحان.</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>أنهت خدمة الامتحان الاتصال.</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>يُرجى إدخال مفتاح الامتحان.</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>لا يمكن رؤية تطبيقات هذا الحاسوب من هنا. شغّل الوكيل خارج أي حاوية أو بيئة معزولة.</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>شُغّل هذا الوكيل بطريقة تتيح لبرنامج آخر تغيير ما يُبلغ عنه. شغّله مجددًا من قائمة التطبيقات.</translation>
    </message>
</context>
</TS>
